#!/usr/bin/env python3
"""Fits and evaluates the word-confidence calibration of a speech engine.

Runs `ProjectVesk --transcribe` with VESK_DEBUG_CONFIDENCE=1 over Debian's test
recordings that ship with reference transcripts, aligns each recognized word with the
reference, and fits a logistic curve from the engine's raw evidence to the probability
that the word is right. Evaluation is leave-one-recording-out: every recording is judged
by a curve fitted without it.

    bench/speech/fit-confidence.py [--build build] [--engine pocketsphinx|whisper]
                                   [--model base.en] [--data-home ~/.local/share]

For whisper the model is the one ProjectVesk downloaded (`--data-home` is where its data
lives, `--model` which one); the script says so and stops when it is not there.

Reports, before (the raw score as the confidence) and after calibration: the share of
correctly recognized words that the review lens would flag, the share of wrong words it
flags, and how many recordings recognized without an error would still pause for review.
Prints the curve fitted on all recordings, to be copied into
src/speech/ConfidenceCalibration.cpp.
"""
import argparse
import math
import os
import re
import subprocess
import sys
import tempfile

DATA = "/usr/share/pocketsphinx/test/data"
LENS_THRESHOLD = 0.72
CRITICAL_THRESHOLD = 0.88


def raw_to_wav(raw, scratch):
    wav = os.path.join(scratch, os.path.basename(raw) + ".wav")
    subprocess.run(["sox", "-t", "raw", "-r", "16000", "-e", "signed", "-b", "16", "-c", "1", raw, wav], check=True)
    return wav


def fit_set(scratch):
    """(name, audio file, reference words) for every recording with a reference."""
    recordings = [
        ("goforward", raw_to_wav(f"{DATA}/goforward.raw", scratch), "go forward ten meters"),
        ("something", raw_to_wav(f"{DATA}/something.raw", scratch), "go somewhere and do something"),
    ]
    for folder, listing in (("librivox", "transcription"), ("cards", "cards.transcription")):
        with open(f"{DATA}/{folder}/{listing}") as lines:
            for line in lines:
                match = re.match(r"<s>(.*)</s>\s*\((.*)\)", line.strip())
                if match:
                    words = match.group(1).strip()
                    recordings.append((match.group(2), f"{DATA}/{folder}/{match.group(2)}.wav", words))
    # The dictionary spells some words differently from the references.
    spelling = {"mister": "mr"}
    return [(name, path, [spelling.get(w, w) for w in words.lower().split()]) for name, path, words in recordings]


def recognize(build, engine, model, data_home, path, scratch):
    """The engine's words with their evidence, in order."""
    config = os.path.join(scratch, "config", "ProjectVesk")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "ProjectVesk.conf"), "w") as settings:
        settings.write(f"[General]\nspeechEngine={engine}\nspeechModel={model}\n")
    env = dict(os.environ, VESK_DEBUG_CONFIDENCE="1", XDG_CONFIG_HOME=os.path.join(scratch, "config"),
               XDG_DATA_HOME=data_home or os.path.join(scratch, "data"))
    run = subprocess.run([os.path.join(build, "ProjectVesk"), "--transcribe", path], env=env,
                         capture_output=True, text=True)
    words = []
    for line in run.stderr.splitlines():
        match = re.match(rf'CONFIDENCE: {engine} "(.*)" (.*)', line)
        if match:
            fields = dict(part.split("=", 1) for part in match.group(2).split())
            words.append((match.group(1).lower(), {k: float(v) for k, v in fields.items()}))
    return words


def align(reference, hypothesis):
    """For each hypothesis word, whether a minimal edit alignment matches it to the same reference word."""
    n, m = len(reference), len(hypothesis)
    cost = [[0] * (m + 1) for _ in range(n + 1)]
    for i in range(n + 1):
        cost[i][0] = i
    for j in range(m + 1):
        cost[0][j] = j
    for i in range(1, n + 1):
        for j in range(1, m + 1):
            cost[i][j] = min(cost[i - 1][j] + 1, cost[i][j - 1] + 1,
                             cost[i - 1][j - 1] + (reference[i - 1] != hypothesis[j - 1]))
    correct = [False] * m
    i, j = n, m
    while i > 0 and j > 0:
        if cost[i][j] == cost[i - 1][j - 1] + (reference[i - 1] != hypothesis[j - 1]):
            correct[j - 1] = reference[i - 1] == hypothesis[j - 1]
            i, j = i - 1, j - 1
        elif cost[i][j] == cost[i][j - 1] + 1:
            j -= 1
        else:
            i -= 1
    return correct, cost[n][m]


def logit(p):
    p = min(max(p, 1e-4), 1 - 1e-4)
    return math.log(p / (1 - p))


def features(engine, evidence, word):
    if engine == "pocketsphinx":
        return [logit(evidence["raw"]), evidence["agreement"], evidence["function"], 1.0 if len(word) <= 3 else 0.0,
                logit(evidence["neighbours"])]
    return [logit(evidence["weakest"]), logit(evidence["mean"])]


# Weights that must stay non-negative: more raw evidence never lowers the confidence.
NON_NEGATIVE = {"pocketsphinx": {0, 1, 4}, "whisper": {0, 1}}


def fit(rows, engine, l2=0.05, steps=4000, rate=0.1):
    """Logistic regression by projected gradient descent: bias first, then one weight per feature."""
    width = len(rows[0][0])
    w = [0.0] * (width + 1)
    w[1] = 1.0
    for _ in range(steps):
        grad = [0.0] * (width + 1)
        for x, y in rows:
            z = w[0] + sum(wi * xi for wi, xi in zip(w[1:], x))
            p = 1 / (1 + math.exp(-max(min(z, 30), -30)))
            grad[0] += p - y
            for k, xi in enumerate(x):
                grad[k + 1] += (p - y) * xi
        for k in range(width + 1):
            penalty = l2 * w[k] if k > 0 else 0.0
            w[k] -= rate * (grad[k] / len(rows) + penalty)
        for k in NON_NEGATIVE[engine]:
            w[k + 1] = max(w[k + 1], 0.0)
    return w


def calibrated(w, x):
    z = w[0] + sum(wi * xi for wi, xi in zip(w[1:], x))
    return 1 / (1 + math.exp(-max(min(z, 30), -30)))


def is_critical(word, position):
    # The lens's rules that PocketSphinx text can meet: a long token, or "I" inside a sentence
    # once the pronoun is capitalized.
    return len(word) >= 10 or (position > 0 and (word == "i" or word.startswith("i'")))


def evaluate(recordings, confidence_of):
    correct_flagged = correct_total = wrong_flagged = wrong_total = 0
    clean_paused = clean_total = 0
    for name, words, labels in recordings:
        paused = False
        for position, ((word, evidence), right) in enumerate(zip(words, labels)):
            c = confidence_of(name, position, word, evidence)
            flagged = c < (CRITICAL_THRESHOLD if is_critical(word, position) else LENS_THRESHOLD)
            paused = paused or flagged
            if right:
                correct_total += 1
                correct_flagged += flagged
            else:
                wrong_total += 1
                wrong_flagged += flagged
        if all(labels) and len(labels) > 0 and words:
            clean_total += 1
            clean_paused += paused
    return correct_flagged, correct_total, wrong_flagged, wrong_total, clean_paused, clean_total


def report(title, result):
    cf, ct, wf, wt, cp, cl = result
    print(f"{title}: correct words flagged {cf}/{ct} ({100 * cf / max(ct, 1):.1f} %), "
          f"wrong words flagged {wf}/{wt} ({100 * wf / max(wt, 1):.1f} %), "
          f"error-free recordings that pause {cp}/{cl}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--engine", default="pocketsphinx", choices=["pocketsphinx", "whisper"])
    parser.add_argument("--model", default="base.en", help="the whisper model to fit")
    parser.add_argument("--data-home", default=os.environ.get("XDG_DATA_HOME") or
                        os.path.expanduser("~/.local/share"), help="where ProjectVesk keeps its data (whisper)")
    args = parser.parse_args()

    data_home = None
    if args.engine == "whisper":
        model = os.path.join(args.data_home, "ProjectVesk", "models", f"ggml-{args.model}.bin")
        if not os.path.isfile(model):
            print(f"No whisper model is installed ({model} is not there); nothing to fit. Download it from "
                  f"ProjectVesk's settings, or name another with --model or --data-home.")
            return 0
        data_home = args.data_home

    with tempfile.TemporaryDirectory() as scratch:
        recordings = []
        errors = words_total = 0
        for name, path, reference in fit_set(scratch):
            words = recognize(args.build, args.engine, args.model, data_home, path, scratch)
            labels, distance = align(reference, [w for w, _ in words])
            errors += distance
            words_total += len(reference)
            recordings.append((name, words, labels))
        print(f"{len(recordings)} recordings, {words_total} reference words, word error rate "
              f"{100 * errors / max(words_total, 1):.1f} %")

        raw_key = "raw" if args.engine == "pocketsphinx" else "weakest"
        report("raw score", evaluate(recordings, lambda n, i, w, e: e[raw_key]))

        def rows_of(selected):
            return [(features(args.engine, e, w), 1.0 if right else 0.0)
                    for _, words, labels in selected for (w, e), right in zip(words, labels)]

        held_out = {}
        for name, _, _ in recordings:
            held_out[name] = fit(rows_of([r for r in recordings if r[0] != name]), args.engine)
        report("calibrated, leave-one-out",
               evaluate(recordings, lambda n, i, w, e: calibrated(held_out[n], features(args.engine, e, w))))
        # The cards recordings were made for a grammar of card names; dictation meets speech
        # like the others.
        dictation = [r for r in recordings if not r[0].isdigit()]
        report("  of these, LibriVox, goforward and something",
               evaluate(dictation, lambda n, i, w, e: calibrated(held_out[n], features(args.engine, e, w))))

        # The best the evidence allows: the highest flagging threshold that keeps right words
        # flagged at or below 5 %, and the share of wrong words it still catches.
        scores = sorted((calibrated(held_out[name], features(args.engine, e, w)), right)
                        for name, words, labels in recordings for (w, e), right in zip(words, labels))
        right_total = sum(1 for _, right in scores if right)
        wrong_total = len(scores) - right_total
        best = (0.0, 0)
        for threshold, _ in scores:
            right_flagged = sum(1 for c, right in scores if right and c < threshold)
            if right_flagged <= 0.05 * right_total:
                best = (threshold, sum(1 for c, right in scores if not right and c < threshold))
        print(f"leave-one-out, flagging below {best[0]:.2f} keeps right words flagged at or below 5 % and flags "
              f"{best[1]}/{wrong_total} ({100 * best[1] / max(wrong_total, 1):.1f} %) of wrong words")

        final = fit(rows_of(recordings), args.engine)
        report("calibrated, fitted on all (optimistic)",
               evaluate(recordings, lambda n, i, w, e: calibrated(final, features(args.engine, e, w))))
        print("curve: " + ", ".join(f"{v:.4f}" for v in final))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# Times `ProjectVesk --format` as a whole process, start-up included: a short phrase and
# a 1,000-word transcript, with 300 learned corrections, 100 snippets and a dictionary
# in a scratch support directory. Needs hyperfine (scripts/setup installs it).
# Usage: bench/text/format-process.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
exe="$PWD/$build/ProjectVesk"
[ -x "$exe" ] || { echo "no $exe: build the ProjectVesk target first" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" HOME="$scratch"
mkdir -p "$XDG_DATA_HOME/ProjectVesk"

python3 - "$XDG_DATA_HOME/ProjectVesk" "$scratch/transcript.txt" <<'PY'
import json, random, sys
support, transcript_path = sys.argv[1], sys.argv[2]
rng = random.Random(42)
syllables = ["ka", "lo", "mi", "zen", "tor", "vis", "dra", "pel", "qu", "sho",
             "rin", "bo", "te", "nax", "ul", "fy", "gor", "wen", "ix", "sa"]
def made_up():
    return "".join(rng.choice(syllables) for _ in range(rng.choice([2, 3])))
heard = [made_up() + (" " + made_up() if i % 5 == 0 else "") for i in range(300)]
corrections = [{"id": "6BA7B810-9DAD-41D1-80B4-%012d" % i, "heard": h, "intended": "Term%d" % i,
                "timesSeen": 1 + i % 4} for i, h in enumerate(heard)]
terms = ["Vocabulary%d" % i for i in range(300)]
json.dump({"corrections": corrections, "terms": terms}, open(support + "/learned.json", "w"))
triggers = ["snip " + made_up() for _ in range(100)]
json.dump([{"id": "6BA7B810-9DAD-41D1-80B4-%012d" % (1000 + i), "trigger": t,
            "expansion": "Expanded text number %d, as stored." % i} for i, t in enumerate(triggers)],
          open(support + "/snippets.json", "w"))
json.dump({"jira": "Jira", "claude code": "Claude Code", "github": "GitHub"}, open(support + "/dictionary.json", "w"))
common = ["the", "a", "and", "to", "of", "we", "should", "send", "it", "today", "please", "check", "that",
          "build", "ticket", "is", "fast", "with", "team", "ready", "review", "this", "meeting", "notes",
          "data", "for", "um", "uh", "so", "maybe", "next", "week", "call", "about", "jira", "deploy"]
words = []
while len(words) < 1000:
    roll = rng.randrange(100)
    if roll < 2: words.append(rng.choice(heard))
    elif roll == 2: words.append(rng.choice(triggers))
    elif roll == 3: words.append("new line")
    else: words.append(rng.choice(common) + ("." if roll > 92 else ""))
open(transcript_path, "w").write(" ".join(words))
PY

transcript="$(cat "$scratch/transcript.txt")"
formatted="$("$exe" --format "$transcript")"
echo "${formatted:0:300}..."
echo
hyperfine -N --warmup 5 --runs "${RUNS:-100}" \
  -n "short phrase" "$exe --format 'um so new line hello jira'" \
  -n "1,000 words" "$exe --format '$transcript'"

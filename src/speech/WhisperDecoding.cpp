#include "speech/WhisperDecoding.h"

#include "core/Error.h"
#include "speech/ConfidenceCalibration.h"
#include "speech/HallucinationFilter.h"

#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>
#include <unordered_map>

namespace vesk::whisper {

namespace {

constexpr size_t kMinimumDecodeSamples = kSampleRate;  // the decoder wants at least 1 s
constexpr double kUncertain = 0.72;                    // words below this get alternatives
constexpr size_t kAlternativeCount = 2;
// Quiet after the speech long enough for whisper to write into (0.3 s): there the decoder
// is asked for timestamps so that what it places after the speech can be cut.
constexpr size_t kQuietTailSamples = kSampleRate * 3 / 10;

struct SegmentsDeleter {
    void operator()(whisper_vad_segments* segments) const { whisper_vad_free_segments(segments); }
};

// The decoder's two best tokens at one step, recorded while it decodes.
struct StepChoice {
    whisper_token best = -1;
    whisper_token runnerUp = -1;
    float runnerUpProbability = 0;
};

std::string prefixKey(const whisper_token_data* tokens, int count) {
    std::string key;
    key.reserve(static_cast<size_t>(count) * sizeof(whisper_token));
    for (int i = 0; i < count; ++i) key.append(reinterpret_cast<const char*>(&tokens[i].id), sizeof(whisper_token));
    return key;
}

std::string prefixKey(const std::vector<whisper_token>& ids, size_t count) {
    return std::string(reinterpret_cast<const char*>(ids.data()), count * sizeof(whisper_token));
}

struct ChoiceRecorder {
    std::unordered_map<std::string, StepChoice> steps;
    int textTokenLimit = 0;  // tokens at or above this are special
};

void recordChoice(whisper_context* context, whisper_state*, const whisper_token_data* tokens, int count, float* logits,
                  void* user) {
    auto& recorder = *static_cast<ChoiceRecorder*>(user);
    const int vocabulary = whisper_n_vocab(context);
    std::string key = prefixKey(tokens, count);
    if (recorder.steps.contains(key)) return;  // the first (coolest) decode of a prefix counts
    int best = -1, second = -1;
    float max = -INFINITY;
    for (int i = 0; i < vocabulary; ++i) {
        if (best < 0 || logits[i] > logits[best]) {
            second = best;
            best = i;
        } else if (second < 0 || logits[i] > logits[second]) {
            second = i;
        }
    }
    if (best < 0) return;
    max = logits[best];
    if (!std::isfinite(max)) return;
    double sum = 0;
    for (int i = 0; i < vocabulary; ++i)
        if (std::isfinite(logits[i])) sum += std::exp(static_cast<double>(logits[i] - max));
    StepChoice choice;
    choice.best = best;
    if (second >= 0 && std::isfinite(logits[second])) {
        choice.runnerUp = second;
        choice.runnerUpProbability = static_cast<float>(std::exp(static_cast<double>(logits[second] - max)) / sum);
    }
    recorder.steps.emplace(std::move(key), choice);
}

struct DecodedToken {
    whisper_token id;
    std::string text;
    float probability;
    double start;  // seconds into the stretch; meaningful only when timestamps were asked for
};

std::string_view trimmedWord(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

bool isAborted(void* signal) { return static_cast<const AbortSignal*>(signal)->raised(); }

}  // namespace

int threadCount(int requested) {
    if (requested > 0) return requested;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
}

int liveThreadCount(int requested) {
    if (requested > 0) return requested;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 1, 4);
}

void StateDeleter::operator()(whisper_state* state) const { whisper_free_state(state); }

void VadDeleter::operator()(whisper_vad_context* context) const { whisper_vad_free(context); }

VoiceDetector::VoiceDetector(const std::filesystem::path& path, int threads) {
    auto params = whisper_vad_default_context_params();
    params.n_threads = threads;
    params.use_gpu = false;
    context_.reset(whisper_vad_init_from_file_with_params(path.c_str(), params));
    if (!context_)
        throw Error(kDomain, 3, "The voice detection model \u201c" + path.string() + "\u201d could not be loaded.");
}

std::vector<SpeechSpan> VoiceDetector::speech(std::span<const float> samples) {
    std::vector<SpeechSpan> spans;
    if (samples.empty()) return spans;
    auto params = whisper_vad_default_params();
    params.min_silence_duration_ms = 300;
    params.speech_pad_ms = 100;
    const std::unique_ptr<whisper_vad_segments, SegmentsDeleter> segments(
        whisper_vad_segments_from_samples(context_.get(), params, samples.data(), static_cast<int>(samples.size())));
    if (!segments) return spans;
    const int count = whisper_vad_segments_n_segments(segments.get());
    for (int i = 0; i < count; ++i) {
        // Times come in centiseconds.
        const auto toSample = [&](float cs) {
            return std::min(samples.size(), static_cast<size_t>(std::max(0.0f, cs) * kSampleRate / 100.0f));
        };
        const SpeechSpan span{toSample(whisper_vad_segments_get_segment_t0(segments.get(), i)),
                              toSample(whisper_vad_segments_get_segment_t1(segments.get(), i))};
        if (span.end > span.begin) spans.push_back(span);
    }
    return spans;
}

RecognitionResult decode(whisper_context* context, whisper_state* state, std::span<const float> samples,
                         const WhisperSetup& setup, const std::optional<std::string>& prompt, bool quick,
                         const AbortSignal* abort, std::optional<size_t> speechEnd) {
    RecognitionResult result;
    const size_t spoken = std::min(speechEnd.value_or(samples.size()), samples.size());
    std::vector<float> padded;
    if (samples.size() < kMinimumDecodeSamples) {
        padded.assign(samples.begin(), samples.end());
        padded.resize(kMinimumDecodeSamples, 0.0f);
        samples = padded;
    }
    ChoiceRecorder recorder;
    recorder.textTokenLimit = whisper_token_eot(context);

    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = threadCount(setup.threads);
    params.print_progress = false;
    params.print_realtime = false;
    params.print_special = false;
    params.print_timestamps = false;
    params.no_timestamps = true;
    params.single_segment = true;
    params.no_context = true;
    params.suppress_nst = true;
    if (quick || !setup.temperatureFallback) params.temperature_inc = 0.0f;
    params.language = whisper_is_multilingual(context) ? setup.language.c_str() : "en";
    params.initial_prompt = prompt ? prompt->c_str() : nullptr;
    // Quiet after the speech (silence the detector found, or the padding of a short
    // stretch) is where whisper writes on: "Yes." becomes "Yes. Thank you.". There it
    // places its words in time, and those after the speech are cut below.
    const bool quietTail = samples.size() >= spoken + kQuietTailSamples;
    if (quietTail) {
        params.no_timestamps = false;
        params.token_timestamps = true;
    }
    // Only the audio there is goes through the encoder, not 30 s of padding: 50 encoder
    // positions per second, with a little room.
    const int fullContext = whisper_model_n_audio_ctx(context);
    const double seconds = static_cast<double>(samples.size()) / kSampleRate;
    params.audio_ctx = std::min(fullContext, static_cast<int>(std::ceil(seconds * 50.0)) + 64);
    params.logits_filter_callback = &recordChoice;
    params.logits_filter_callback_user_data = &recorder;
    if (abort) {
        params.abort_callback = &isAborted;
        params.abort_callback_user_data = const_cast<AbortSignal*>(abort);
    }

    if (whisper_full_with_state(context, state, params, samples.data(), static_cast<int>(samples.size())) != 0) {
        if (abort && abort->raised()) throw Error(kDomain, kAbortedCode, "The speech recognition was cancelled.");
        throw Error(kDomain, 4, "The speech recognizer failed on this recording.");
    }

    std::vector<DecodedToken> tokens;
    std::vector<whisper_token> ids;
    const int segments = whisper_full_n_segments_from_state(state);
    for (int s = 0; s < segments; ++s) {
        const int count = whisper_full_n_tokens_from_state(state, s);
        for (int t = 0; t < count; ++t) {
            const whisper_token_data data = whisper_full_get_token_data_from_state(state, s, t);
            ids.push_back(data.id);
            tokens.push_back({data.id, whisper_token_to_str(context, data.id), data.p, data.t0 / 100.0});
        }
    }

    // Words: a token that begins with a space starts a new word. A word's confidence comes
    // from its tokens' probabilities; its weakest token is where alternatives are sought.
    struct Word {
        std::string text;
        std::vector<float> probabilities;
        float weakest = 1.0f;
        size_t weakestToken = 0;
        size_t firstToken = 0;
        double confidence = 1.0;
    };
    std::vector<Word> words;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].id >= recorder.textTokenLimit) continue;
        const std::string& piece = tokens[i].text;
        if (words.empty() || (!piece.empty() && piece.front() == ' ')) {
            words.emplace_back();
            words.back().firstToken = i;
        }
        Word& word = words.back();
        word.text += piece;
        word.probabilities.push_back(tokens[i].probability);
        if (word.probabilities.size() == 1 || tokens[i].probability <= word.weakest) {
            word.weakest = tokens[i].probability;
            word.weakestToken = i;
        }
    }
    // Text placed after the speech ended, and a phrase looping to the end of the stretch,
    // are the decoder's, not the speaker's.
    const auto keepFirstWords = [&](size_t kept) {
        if (kept >= words.size()) return;
        tokens.resize(words[kept].firstToken);
        words.resize(kept);
    };
    if (quietTail) {
        std::vector<double> starts;
        for (const Word& word : words) starts.push_back(tokens[word.firstToken].start);
        keepFirstWords(HallucinationFilter::wordsBeforeSpeechEnd(starts, static_cast<double>(spoken) / kSampleRate));
    }
    std::vector<std::string> texts;
    for (const Word& word : words) texts.push_back(word.text);
    keepFirstWords(HallucinationFilter::keptWordCount(texts));
    for (Word& word : words) {
        const WhisperWordEvidence evidence{word.probabilities};
        word.confidence = ConfidenceCalibration::whisper(evidence);
        std::string described = ConfidenceCalibration::describe(evidence);
        if (quietTail) {
            char start[32];
            std::snprintf(start, sizeof start, " start=%.2f", tokens[word.firstToken].start);
            described += start;
        }
        ConfidenceCalibration::trace("whisper", trimmedWord(word.text), described, word.confidence);
        result.text.runs.push_back(TextRun{word.text, word.confidence});
    }

    // Alternatives: at the least certain words, the transcript with the decoder's
    // runner-up token in place of the chosen one. Nothing is made up: a word without a
    // recorded runner-up gets no alternative.
    std::vector<size_t> uncertain;
    for (size_t w = 0; w < words.size(); ++w)
        if (words[w].confidence < kUncertain) uncertain.push_back(w);
    std::stable_sort(uncertain.begin(), uncertain.end(),
                     [&](size_t a, size_t b) { return words[a].confidence < words[b].confidence; });
    for (size_t w : uncertain) {
        if (result.alternatives.size() == kAlternativeCount) break;
        const size_t index = words[w].weakestToken;
        const auto found = recorder.steps.find(prefixKey(ids, index));
        if (found == recorder.steps.end() || found->second.best != ids[index]) continue;
        const whisper_token runnerUp = found->second.runnerUp;
        if (runnerUp < 0 || runnerUp >= recorder.textTokenLimit) continue;
        std::string alternative;
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].id >= recorder.textTokenLimit) continue;
            alternative += i == index ? std::string(whisper_token_to_str(context, runnerUp)) : tokens[i].text;
        }
        if (alternative != result.text.plainText()) result.alternatives.push_back(RecognizedText::plain(alternative));
    }
    return result;
}

bool hasText(const RecognitionResult& result) {
    const std::string text = result.text.plainText();
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return !std::isspace(c); });
}

StatePtr newState(whisper_context* context) {
    StatePtr state(whisper_init_state(context));
    if (!state) throw Error(kDomain, 5, "There is not enough memory for the speech recognizer.");
    return state;
}

std::optional<VoiceDetector> voiceDetector(const WhisperSetup& setup) {
    std::error_code error;
    if (!setup.vadModelPath || !std::filesystem::is_regular_file(*setup.vadModelPath, error)) return std::nullopt;
    // One thread: silero's graph for each 32 ms chunk is tiny, so more threads only add
    // their hand-offs, and ggml's threads wait for each other by spinning. On a busy 2-core
    // machine two threads took 2.2 s for 7 s of audio, one took 26 ms.
    return VoiceDetector(*setup.vadModelPath, 1);
}

}  // namespace vesk::whisper

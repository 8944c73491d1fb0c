#include "speech/PocketSphinxEngine.h"

#include "core/Error.h"
#include "speech/ConfidenceCalibration.h"
#include "speech/SpeechEngines.h"
#include "text/EnglishPronoun.h"

#include <err.h>
#include <logmath.h>
#include <pocketsphinx.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace vesk {

namespace {

const std::filesystem::path kDebianModelRoot = "/usr/share/pocketsphinx/model/en-us";
constexpr size_t kChunkSamples = 1600;  // 0.1 s: how often the voice detector is asked
constexpr int kNBestLimit = 12;         // hypotheses looked at for alternatives
constexpr size_t kAlternativeCount = 4;

std::vector<int16_t> toPcm16(std::span<const float> samples) {
    std::vector<int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), [](float s) {
        const float clamped = std::clamp(s, -1.0f, 1.0f);
        return static_cast<int16_t>(std::lrint(clamped * 32767.0f));
    });
    return pcm;
}

// Dictionary spelling to text: fillers and silences dropped, "word(2)" (an alternative
// pronunciation) read as "word", the all-lower-case dictionary's "i" written "I".
std::optional<std::string> spokenWord(const char* raw) {
    if (!raw) return std::nullopt;
    std::string word(raw);
    if (word.empty() || word.front() == '<' || word.front() == '[' || word == "(NULL)") return std::nullopt;
    if (const auto paren = word.find('('); paren != std::string::npos && paren > 0) word.erase(paren);
    return writeEnglishPronoun(word);
}

std::string cleanHypothesis(const char* hypothesis) {
    std::string text;
    if (!hypothesis) return text;
    std::string current;
    auto flush = [&] {
        if (auto word = spokenWord(current.c_str()); word && !current.empty()) {
            if (!text.empty()) text += ' ';
            text += *word;
        }
        current.clear();
    };
    for (const char* p = hypothesis; *p; ++p) {
        if (*p == ' ')
            flush();
        else
            current += *p;
    }
    flush();
    return text;
}

}  // namespace

bool PocketSphinxModel::isInstalled() const {
    std::error_code error;
    return std::filesystem::is_directory(acousticModel, error) &&
           std::filesystem::is_regular_file(languageModel, error) &&
           std::filesystem::is_regular_file(dictionary, error);
}

std::optional<PocketSphinxModel> PocketSphinxModel::forLocale(const std::string& locale) {
    // One English model serves every English locale; it knows no other language.
    if (languageOf(locale) != "en") return std::nullopt;
    return PocketSphinxModel{kDebianModelRoot / "en-us", kDebianModelRoot / "en-us.lm.bin",
                             kDebianModelRoot / "cmudict-en-us.dict"};
}

class PocketSphinxEngine::Decoder {
public:
    explicit Decoder(const PocketSphinxModel& model) {
        err_set_logfp(nullptr);  // the library's chatter would land in our standard error
        config_ = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acousticModel.c_str(), "-lm",
                              model.languageModel.c_str(), "-dict", model.dictionary.c_str(), "-logfn", "/dev/null",
                              "-bestpath", "yes", nullptr);
        if (config_) decoder_ = ps_init(config_);
        if (!decoder_) {
            if (config_) cmd_ln_free_r(config_);
            throw Error("PocketSphinx", 1, "The PocketSphinx speech model could not be loaded.");
        }
    }
    ~Decoder() {
        if (decoder_) ps_free(decoder_);
        if (config_) cmd_ln_free_r(config_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void start() {
        ps_start_utt(decoder_);
        speaking_ = false;
    }

    // Feeds audio; returns the utterances that ended inside it (voice detector pauses).
    template <typename OnUtterance, typename OnPartial>
    void feed(std::span<const float> samples, OnUtterance&& onUtterance, OnPartial&& onPartial) {
        for (size_t offset = 0; offset < samples.size(); offset += kChunkSamples) {
            const auto chunk = samples.subspan(offset, std::min(kChunkSamples, samples.size() - offset));
            const auto pcm = toPcm16(chunk);
            ps_process_raw(decoder_, pcm.data(), pcm.size(), FALSE, FALSE);
            const bool inSpeech = ps_get_in_speech(decoder_) != 0;
            if (inSpeech && !speaking_) speaking_ = true;
            if (speaking_ && !inSpeech) {
                ps_end_utt(decoder_);
                onUtterance(result());
                ps_start_utt(decoder_);
                speaking_ = false;
            } else if (speaking_) {
                onPartial(cleanHypothesis(ps_get_hyp(decoder_, nullptr)));
            }
        }
    }

    // Ends the open utterance; its result when it held speech.
    std::optional<RecognitionResult> end() {
        ps_end_utt(decoder_);
        const bool hadSpeech = speaking_;
        speaking_ = false;
        if (!hadSpeech) return std::nullopt;
        return result();
    }

private:
    RecognitionResult result() {
        RecognitionResult out;
        const std::string best = cleanHypothesis(ps_get_hyp(decoder_, nullptr));
        const std::vector<std::string> hypotheses = nbestHypotheses();
        logmath_t* logmath = ps_get_logmath(decoder_);
        std::vector<std::string> words;
        std::vector<double> posteriors;
        for (ps_seg_t* seg = ps_seg_iter(decoder_); seg; seg = ps_seg_next(seg)) {
            const auto word = spokenWord(ps_seg_word(seg));
            if (!word) continue;
            int32 acoustic = 0, language = 0, backoff = 0;
            const int32 posterior = ps_seg_prob(seg, &acoustic, &language, &backoff);
            words.push_back(*word);
            posteriors.push_back(std::clamp(logmath_exp(logmath, posterior), 0.0, 1.0));
        }
        const std::vector<double> neighbours = ConfidenceCalibration::neighbourPosteriors(posteriors);
        for (size_t i = 0; i < words.size(); ++i) {
            const PocketSphinxWordEvidence evidence{
                .posterior = posteriors[i],
                .nbestAgreement = ConfidenceCalibration::nbestAgreement(words[i], hypotheses),
                .functionWord = ConfidenceCalibration::isFunctionWord(words[i]),
                .characters = static_cast<int>(words[i].size()),
                .neighbourPosterior = neighbours[i],
            };
            const double confidence = ConfidenceCalibration::pocketSphinx(evidence);
            ConfidenceCalibration::trace("pocketsphinx", words[i], ConfidenceCalibration::describe(evidence),
                                         confidence);
            out.text.runs.push_back(TextRun{(i == 0 ? "" : " ") + words[i], confidence});
        }
        if (out.text.runs.empty() && !best.empty()) out.text = RecognizedText::plain(best);
        if (best.empty()) return out;
        for (const std::string& hypothesis : hypotheses) {
            if (out.alternatives.size() >= kAlternativeCount) break;
            if (hypothesis != best) out.alternatives.push_back(RecognizedText::plain(hypothesis));
        }
        return out;
    }

    // The distinct non-empty hypotheses of the n-best list, best first.
    std::vector<std::string> nbestHypotheses() {
        std::vector<std::string> hypotheses;
        ps_nbest_t* nbest = ps_nbest(decoder_);
        for (int i = 0; nbest && i < kNBestLimit; ++i) {
            const std::string hypothesis = cleanHypothesis(ps_nbest_hyp(nbest, nullptr));
            if (!hypothesis.empty() && std::find(hypotheses.begin(), hypotheses.end(), hypothesis) == hypotheses.end())
                hypotheses.push_back(hypothesis);
            nbest = ps_nbest_next(nbest);
        }
        if (nbest) ps_nbest_free(nbest);
        return hypotheses;
    }

    cmd_ln_t* config_ = nullptr;
    ps_decoder_t* decoder_ = nullptr;
    bool speaking_ = false;
};

// Live recognition on one borrowed decoder: partial hypotheses are the volatile results,
// each utterance the voice detector closes is a final result.
class PocketSphinxLive final : public LiveRecognition {
public:
    PocketSphinxLive(PocketSphinxEngine& engine, std::unique_ptr<PocketSphinxEngine::Decoder> decoder, ResultSink sink)
        : engine_(engine), decoder_(std::move(decoder)), sink_(std::move(sink)) {
        decoder_->start();
    }
    ~PocketSphinxLive() override {
        if (!finished_) decoder_->end();
        engine_.returnDecoder(std::move(decoder_));
    }

    void accept(std::span<const float> samples) override {
        decoder_->feed(
            samples, [&](RecognitionResult result) { deliverFinal(std::move(result)); },
            [&](const std::string& partial) {
                if (partial == lastPartial_) return;
                lastPartial_ = partial;
                RecognitionResult update;
                update.isFinal = false;
                update.text = RecognizedText::plain(separator() + partial);
                sink_(std::move(update));
            });
    }

    void finish() override {
        finished_ = true;
        if (auto result = decoder_->end()) deliverFinal(std::move(*result));
    }

private:
    std::string separator() const { return anyFinal_ ? " " : ""; }

    void deliverFinal(RecognitionResult result) {
        lastPartial_.clear();
        if (result.text.plainText().empty()) return;
        if (anyFinal_ && !result.text.runs.empty()) result.text.runs.front().text = " " + result.text.runs.front().text;
        anyFinal_ = true;
        result.isFinal = true;
        sink_(std::move(result));
    }

    PocketSphinxEngine& engine_;
    std::unique_ptr<PocketSphinxEngine::Decoder> decoder_;
    ResultSink sink_;
    std::string lastPartial_;
    bool anyFinal_ = false;
    bool finished_ = false;
};

PocketSphinxEngine::PocketSphinxEngine(PocketSphinxModel model) : model_(std::move(model)) {}
PocketSphinxEngine::~PocketSphinxEngine() = default;

std::unique_ptr<PocketSphinxEngine::Decoder> PocketSphinxEngine::takeDecoder() {
    {
        const std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            auto decoder = std::move(idle_.back());
            idle_.pop_back();
            return decoder;
        }
    }
    return std::make_unique<Decoder>(model_);
}

void PocketSphinxEngine::returnDecoder(std::unique_ptr<Decoder> decoder) {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(decoder));
}

std::vector<RecognitionResult> PocketSphinxEngine::recognize(std::span<const float> samples,
                                                             const std::optional<RecognitionContext>&,
                                                             const RecognitionProgress& progress) {
    // This model's vocabulary is fixed; contextual words cannot be added to it here.
    if (!model_.isInstalled())
        throw Error("PocketSphinx", 2,
                    "The PocketSphinx English model is not installed (Debian package pocketsphinx-en-us).");
    auto decoder = takeDecoder();
    std::vector<RecognitionResult> results;
    decoder->start();
    constexpr size_t kProgressStep = 16000 * 5;  // a report every 5 s of audio
    static_assert(kProgressStep % kChunkSamples == 0, "the voice detector sees the same chunks");
    for (size_t offset = 0; offset < samples.size(); offset += kProgressStep) {
        decoder->feed(
            samples.subspan(offset, std::min(kProgressStep, samples.size() - offset)),
            [&](RecognitionResult result) { results.push_back(std::move(result)); }, [](const std::string&) {});
        if (progress) progress(static_cast<double>(std::min(samples.size(), offset + kProgressStep)) / 16000.0);
    }
    if (auto last = decoder->end()) results.push_back(std::move(*last));
    returnDecoder(std::move(decoder));
    return results;
}

std::unique_ptr<LiveRecognition> PocketSphinxEngine::startLive(const std::optional<RecognitionContext>&,
                                                               ResultSink sink) {
    return std::make_unique<PocketSphinxLive>(*this, takeDecoder(), std::move(sink));
}

}  // namespace vesk

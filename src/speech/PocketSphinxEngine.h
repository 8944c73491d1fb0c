#pragma once

#include "speech/SpeechEngine.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace vesk {

// Where Debian's US English acoustic model, language model and dictionary live.
struct PocketSphinxModel {
    std::filesystem::path acousticModel;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;

    bool isInstalled() const;
    // Debian's pocketsphinx-en-us package, for English locales; nothing for others.
    static std::optional<PocketSphinxModel> forLocale(const std::string& locale);
};

// The offline recognizer: CMU PocketSphinx with a fixed model. Word posteriors become the
// run confidences, the n-best list the alternatives, partial hypotheses the volatile live
// results. Speech is cut into utterances at the pauses its voice detector finds.
class PocketSphinxEngine final : public SpeechEngine {
public:
    explicit PocketSphinxEngine(PocketSphinxModel model);
    ~PocketSphinxEngine() override;

    std::string name() const override { return "pocketsphinx"; }
    bool isModelInstalled() const override { return model_.isInstalled(); }
    // Debian's package is the only source of this model: nothing to download.
    bool canInstallModel() const override { return false; }
    void installModel() override {}
    std::vector<RecognitionResult> recognize(std::span<const float> samples,
                                             const std::optional<RecognitionContext>& context,
                                             const RecognitionProgress& progress = {}) override;
    std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>& context,
                                               ResultSink sink) override;

    class Decoder;  // one loaded decoder; not for concurrent use

private:
    friend class PocketSphinxLive;
    std::unique_ptr<Decoder> takeDecoder();
    void returnDecoder(std::unique_ptr<Decoder> decoder);

    PocketSphinxModel model_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Decoder>> idle_;  // loading a model takes a while; keep them
};

}  // namespace vesk

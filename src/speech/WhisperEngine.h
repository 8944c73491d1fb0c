#pragma once

#include "speech/LiveWindow.h"
#include "speech/SpeechEngine.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct whisper_context;

namespace vesk {

// One decode of a live session, as measurements and logs see it.
struct LiveDecodeReport {
    enum class Kind {
        provisional,  // volatile text of the open tail
        committed,    // the older part of a long stretch, made final
        closed,       // a stretch that ended at a pause or with the input, made final
    };
    Kind kind = Kind::provisional;
    bool finished = true;       // false: the decode is about to begin
    double seconds = 0;         // how long the decode took
    size_t decodedSamples = 0;  // 16 kHz samples decoded
    size_t coveredThrough = 0;  // where the decoded audio ends, in samples since the session began
    bool superseded = false;    // given up because newer audio made it useless
};

struct WhisperSetup {
    std::filesystem::path modelPath;
    // The voice-activity model; speech is cut at pauses only when this file exists.
    std::optional<std::filesystem::path> vadModelPath;
    std::string language = "en";  // whisper's language code
    int threads = 0;              // 0: as many as the machine has, at most 4
    // The model's published SHA-1 (lower-case hex), when known. The file is checked
    // against it before its first use and again whenever it changes on disk, because the
    // loader takes a cut-off file for an empty model instead of refusing it.
    std::string expectedSha1;
    // Decode again at higher temperatures when a decode looks degenerate (repetitive or
    // improbable). Volatile live results never do: they must keep pace and are replaced.
    bool temperatureFallback = true;
    // How live recognition windows the open audio.
    LiveWindowSettings live;
    // Hears about every live decode, on the session's decoder thread: as it begins, and once
    // it ended and its result (if any) went to the sink. Must not call back into the session.
    std::function<void(const LiveDecodeReport&)> liveDecodeObserver;
    // Downloads the model files; absent when no source for them is known.
    std::function<void()> installer;
    // Why the installer should not run now unless asked (see SpeechEngine::installDeferral).
    std::function<std::optional<std::string>()> installDeferral;
};

// The default recognizer: whisper.cpp on a ggml model. Per-word confidence from token
// probabilities, alternative transcripts from the decoder's own runner-up tokens at
// uncertain words, bias terms through the decoder prompt, stretches of speech found by
// voice activity detection. Live results decode a bounded tail of the open stretch as
// audio arrives (volatile), commit the older part of a long stretch, and finalize the
// stretch at pauses (see WhisperLive).
class WhisperEngine final : public SpeechEngine {
public:
    explicit WhisperEngine(WhisperSetup setup);
    ~WhisperEngine() override;

    std::string name() const override { return "whisper"; }
    bool isModelInstalled() const override;
    bool canInstallModel() const override { return static_cast<bool>(setup_.installer); }
    std::optional<std::string> installDeferral() const override;
    void installModel() override;
    void loadModel() override { model(); }
    std::vector<RecognitionResult> recognize(std::span<const float> samples,
                                             const std::optional<RecognitionContext>& context,
                                             const RecognitionProgress& progress = {}) override;
    std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>& context,
                                               ResultSink sink) override;

    // The decoder prompt for a context: its words joined with commas; nothing without one.
    static std::optional<std::string> promptFor(const std::optional<RecognitionContext>& context);

    const WhisperSetup& setup() const { return setup_; }
    whisper_context* model();  // loaded on first use; throws vesk::Error

private:
    WhisperSetup setup_;
    std::mutex mutex_;
    whisper_context* model_ = nullptr;
};

}  // namespace vesk

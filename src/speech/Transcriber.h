#pragma once

#include "audio/AudioBuffer.h"
#include "audio/AudioBufferConverter.h"
#include "speech/LiveInputQueue.h"
#include "speech/ModelDownload.h"
#include "speech/SpeechEngine.h"
#include "text/ConfidenceLens.h"

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vesk {

// Live recognition could not keep up and dropped audio; the caller falls back to the
// complete recording.
class LiveAudioOverrun : public std::exception {
public:
    const char* what() const noexcept override {
        return "Live recognition fell behind; using the complete recording instead.";
    }
};

// Speech to text for one locale, on the engine the settings choose: whole recordings
// with confidences and alternatives, live audio with finalized and volatile text, and a
// recording fed at real-time pace through the live path.
//
// Threads: one live session at a time, controlled from one thread (startLive, finishLive,
// cancelLive in that order) while one other thread may feed it (streamLiveAudio) at the
// same time, also across a cancel. ensureModelInstalled, installModelNow and
// transcribeDetailed may run on any thread, also at the same time as each other and as a
// live session: one download runs at a time, and a recognition that finds another
// thread downloading uses the fallback engine, where there is one, instead of waiting.
class Transcriber {
public:
    // finalized, volatile: copies of the texts so far. Called on the recognizer's thread.
    using UpdateHandler = std::function<void(std::string, std::string)>;
    // Messages for the person about the engine (standard error on the command line).
    // Called on the thread of the call that decided.
    using Notice = std::function<void(const std::string&)>;
    // Seconds of the recording recognized so far and its length, on the recognizing thread.
    using ProgressHandler = std::function<void(double, double)>;

    // Audio waiting for the live recognizer beyond this is dropped and reported.
    static constexpr double kLiveQueueSeconds = 4.0;

    // The engine from the "speechEngine" and "speechModel" settings; its model downloads
    // report to `downloads` when given (else to standard error).
    explicit Transcriber(std::string locale, std::shared_ptr<const DownloadObserver> downloads = nullptr);
    // A given engine, and the one "auto" falls back to when the first cannot be used.
    Transcriber(std::string locale, std::shared_ptr<SpeechEngine> engine, std::shared_ptr<SpeechEngine> fallback = {},
                Notice notice = {});
    ~Transcriber();
    Transcriber(const Transcriber&) = delete;
    Transcriber& operator=(const Transcriber&) = delete;

    const std::string& locale() const { return locale_; }

    // Returns once the model is installed, or once the fallback engine has taken over;
    // waits for a download another thread started. A download that failed within the
    // last hour is not tried again (the engine says why). Throws vesk::Error.
    void ensureModelInstalled();
    // The same, but tries the download now even after a recent failure (the person asked).
    void installModelNow();
    // A locale no engine knows is reported before anything else, then the file is checked,
    // then the model installed. `progress` follows the recognition.
    DetailedTranscription transcribeDetailed(const std::filesystem::path& file,
                                             const std::vector<std::string>& biasTerms,
                                             const ProgressHandler& progress = {});

    // Returns once the recognizer listens. Throws vesk::Error.
    void startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate);
    // Never waits for the recognizer. Throws AudioBufferConverter::ConversionError.
    void streamLiveAudio(const AudioBuffer& buffer);
    // Returns once every result is in.
    std::string finishLive();
    // Returns at once when idle, else once the recognizer has stopped (a decode in
    // progress is aborted); no update is delivered after it returns.
    void cancelLive() noexcept;
    bool isLive() const;

    std::string transcribeStreaming(const std::filesystem::path& file, const std::vector<std::string>& biasTerms,
                                    UpdateHandler onUpdate);

    static bool runSelfTest();

private:
    struct LiveSession;

    std::shared_ptr<SpeechEngine> recognizer();
    void install(bool evenAfterFailure);
    void fallBack(const std::string& reason);
    void checkLocale() const;
    static std::optional<RecognitionContext> contextFor(const std::vector<std::string>& biasTerms);
    static void runResults(LiveSession& session);
    std::unique_ptr<LiveSession> takeLiveSession();

    const std::string locale_;
    const Notice notice_;

    // The engines: swapped when the fallback takes over, so recognitions hold their own
    // reference. `installing` is true while one thread downloads.
    mutable std::mutex engineMutex_;
    std::condition_variable installFinished_;
    std::shared_ptr<SpeechEngine> engine_;
    std::shared_ptr<SpeechEngine> fallback_;
    bool installing_ = false;
    bool toldAboutStandIn_ = false;

    // The live session and its converter, shared by the controlling and the feeding thread.
    mutable std::mutex liveMutex_;
    std::unique_ptr<LiveSession> live_;
    AudioBufferConverter converter_;
};

}  // namespace vesk

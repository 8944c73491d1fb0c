#pragma once

#include "audio/AudioBufferConverter.h"
#include "speech/SpeechEngine.h"
#include "text/ConfidenceLens.h"
#include "audio/AudioBuffer.h"

#include <condition_variable>
#include <deque>
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

// A bounded queue of audio buffers for the live recognizer: it never blocks the
// producer; when full, the oldest waiting buffer is dropped and the push says so.
class LiveInputQueue {
public:
    explicit LiveInputQueue(size_t capacity) : capacity_(capacity) {}
    // False when a buffer had to be dropped to make room.
    bool push(AudioBuffer buffer);
    // The next buffer; nothing once the queue is finished (after the waiting buffers) or
    // cancelled (at once).
    std::optional<AudioBuffer> pop();
    void finish();
    void cancel();
    bool isCancelled() const;

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<AudioBuffer> buffers_;
    bool finished_ = false;
    bool cancelled_ = false;
};

// Speech to text for one locale, on the engine the settings choose: whole recordings
// with confidences and alternatives, live audio with finalized and volatile text, and a
// recording fed at real-time pace through the live path. One live session at a time;
// the calls of a live session come in the order start, stream..., finish or cancel.
class Transcriber {
public:
    // finalized, volatile: the texts so far. Called on the recognizer's thread.
    using UpdateHandler = std::function<void(const std::string&, const std::string&)>;
    // Messages for the person about the engine (standard error on the command line).
    using Notice = std::function<void(const std::string&)>;

    static constexpr size_t kLiveQueueCapacity = 12;

    // The engine from the "speechEngine" and "speechModel" settings.
    explicit Transcriber(std::string locale);
    // A given engine, and the one "auto" falls back to when the first cannot be installed.
    Transcriber(std::string locale, std::shared_ptr<SpeechEngine> engine, std::shared_ptr<SpeechEngine> fallback = {},
                Notice notice = {});
    ~Transcriber();
    Transcriber(const Transcriber&) = delete;
    Transcriber& operator=(const Transcriber&) = delete;

    const std::string& locale() const { return locale_; }

    void ensureModelInstalled();
    DetailedTranscription transcribeDetailed(const std::filesystem::path& file,
                                             const std::vector<std::string>& biasTerms);

    void startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate);
    void streamLiveAudio(const AudioBuffer& buffer);
    std::string finishLive();
    void cancelLive() noexcept;
    bool isLive() const { return live_ != nullptr; }

    std::string transcribeStreaming(const std::filesystem::path& file, const std::vector<std::string>& biasTerms,
                                    UpdateHandler onUpdate);

    static bool runSelfTest();

private:
    struct LiveSession {
        LiveInputQueue input{kLiveQueueCapacity};
        std::unique_ptr<LiveRecognition> recognition;
        std::thread results;  // feeds the recognizer and collects its results
    };

    SpeechEngine& engine();
    static std::optional<RecognitionContext> contextFor(const std::vector<std::string>& biasTerms);
    void runResults(LiveSession& session);
    void cleanupLiveSession();

    std::string locale_;
    std::shared_ptr<SpeechEngine> engine_;
    std::shared_ptr<SpeechEngine> fallback_;
    Notice notice_;

    std::unique_ptr<LiveSession> live_;
    std::optional<AudioFormat> analyzerFormat_;
    std::unique_ptr<AudioBufferConverter> converter_ = std::make_unique<AudioBufferConverter>();
    UpdateHandler onUpdate_;
    std::string finalizedLiveText_;
    std::string volatileLiveText_;
    std::exception_ptr liveFailure_;
    bool liveDidDropAudio_ = false;
};

}  // namespace vesk

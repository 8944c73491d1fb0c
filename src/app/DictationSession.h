#pragma once

#include "system/FocusTracker.h"

#include <QCoro/QCoroTask>
#include <QFuture>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vesk {

class AppDelegate;

// One dictation from key to recognized, tidied text: starts the recorder and the live
// recognizer, stops or cancels them, recognizes the whole recording and hands the text
// to the delivery. A random recording token identifies the recording in progress; live
// starts and live captions act only while it still holds the value they captured, and
// a stop or cancel clears it first.
//
// Main thread only. Owned by the controller, which it must not outlive.
class DictationSession {
public:
    static constexpr const char* kFinalizingStatus = "Finalizing the accurate transcript…";
    static constexpr const char* kStartFailedHud = "Couldn’t start recording";
    static constexpr const char* kNoWordsError = "I didn’t catch any words. Try speaking a little louder.";

    static constexpr std::chrono::milliseconds kFeedPoll{50};

    explicit DictationSession(AppDelegate& app);
    ~DictationSession();

    // The key monitor's intents (already on the main thread, after a queued hop).
    void keyStarted();
    void keyStopped();
    void keyCancelled();
    void handsFreeChanged(bool on);

    // Ignored while recording or processing.
    void startRecording();
    void stopAndTranscribe();
    void cancelRecording();

    const std::optional<std::string>& recordingToken() const { return recordingToken_; }

private:
    // Set to cancel a running task; the task looks at it after each wait.
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    struct LiveAudioTask {
        QFuture<std::optional<std::string>> result;  // a message when feeding failed
        CancelFlag cancelled;
    };

    struct ProcessingJob {
        std::filesystem::path file;
        std::optional<LiveAudioTask> liveAudio;
        bool overrun = false;
        std::optional<FocusTarget> target;
        std::optional<double> duration;
    };

    QCoro::Task<> startLive(std::string token, CancelFlag cancelled);
    QCoro::Task<> process(ProcessingJob job);
    QCoro::Task<> cancelLive();
    void failLiveStart(const std::string& description);

    AppDelegate& app_;
    std::optional<std::string> recordingToken_;
    std::optional<double> recordingStartedAt_;
    std::optional<FocusTarget> recordingTargetApp_;
    CancelFlag liveStartTask_;
    std::optional<LiveAudioTask> liveAudioTask_;
};

}  // namespace vesk

#include "app/DictationSession.h"

#include "app/AppDelegate.h"
#include "app/EntryEditor.h"
#include "app/ResultDelivery.h"
#include "app/WorkerTask.h"
#include "core/Log.h"
#include "core/Uuid.h"
#include "speech/Transcriber.h"
#include "text/LearnedStore.h"
#include "text/TextPipeline.h"
#include "text/Unicode.h"

#include <QPointer>

#include <system_error>

namespace vesk {
namespace {

// Deletes the recording file when processing ends, whichever way it ends.
class RecordingFile {
public:
    explicit RecordingFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~RecordingFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "An unknown error occurred.";
    }
}

struct TidiedText {
    std::string exact;
    std::string clean;
};

}  // namespace

DictationSession::DictationSession(AppDelegate& app) : app_(app) {}

DictationSession::~DictationSession() {
    if (liveStartTask_) liveStartTask_->store(true);
    if (liveAudioTask_) liveAudioTask_->cancelled->store(true);
}

void DictationSession::keyStarted() {
    // The Right Alt and Right Ctrl keys show the HUD at once; fn shows nothing until release.
    if (app_.hotkey() != Hotkey::fn) app_.services().hud->showRecording();
    startRecording();
}

void DictationSession::keyStopped() {
    app_.services().hud->hide();
    stopAndTranscribe();
}

void DictationSession::keyCancelled() {
    app_.services().hud->hide();
    cancelRecording();
}

void DictationSession::handsFreeChanged(bool on) {
    if (!on) app_.services().hud->hide();
    app_.setHandsFree(on);
    app_.updateIcon(true);
    if (on) app_.services().sounds->play("Pop");
}

void DictationSession::startRecording() {
    const UIState state = app_.uiState();
    if (state == UIState::recording || state == UIState::processing) return;
    ControllerServices& services = app_.services();

    app_.cancelPostRecordingTransform();
    services.ambientMeter->stop();

    const std::string token = makeUuid();
    recordingToken_ = token;
    recordingStartedAt_ = services.clock->uptime();
    recordingTargetApp_ = services.focus->captureFocusedApplication();

    app_.setCurrentAssessment(std::nullopt);
    app_.current().historyEntryID.reset();
    app_.setPromptDraft("");
    app_.setConfidenceIssues({});
    app_.current().exactTranscript.clear();
    app_.current().cleanTranscript.clear();
    app_.setLiveCaption("", "");

    app_.setUIState(UIState::recording);
    app_.updateIcon(true);
    app_.setLastError(std::nullopt);
    services.sounds->play("Pop");

    if (liveStartTask_) liveStartTask_->store(true);
    liveStartTask_ = std::make_shared<std::atomic<bool>>(false);
    startLive(token, liveStartTask_);
}

QCoro::Task<> DictationSession::startLive(std::string token, CancelFlag cancelled) {
    QPointer<AppDelegate> self(&app_);
    const std::shared_ptr<SpeechRecognizer> recognizer = app_.recognizer();
    // Captions hop to the main thread and count only while this recording is current.
    SpeechRecognizer::UpdateHandler onUpdate = [hop = app_.hop(), self, token](const std::string& finalized,
                                                                               const std::string& provisional) {
        hop->post([self, token, finalized, provisional] {
            if (self && self->session().recordingToken() == token) self->setLiveCaption(finalized, provisional);
        });
    };
    std::shared_ptr<AudioBufferStream> stream;
    std::exception_ptr failure;
    try {
        stream = app_.services().recorder->start();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure) {
        QCoro::Task<> starting = runOnWorker(app_.recognitionWorker(), [recognizer, onUpdate] {
            recognizer->startLive(LearnedStore::biasTerms(), onUpdate);
        });
        try {
            co_await std::move(starting);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (!self) co_return;
    if (failure && !cancelled->load()) {
        // A failure of a recording that was stopped meanwhile is dropped silently.
        if (recordingToken_ == token) failLiveStart(describe(failure));
        co_return;
    }
    if (failure || recordingToken_ != token || cancelled->load()) {
        co_await cancelLive();
        co_return;
    }
    // The feeding runs on the recognition worker until the recorder's stream ends (the
    // recording stopped or was cancelled), so every later recognizer call queues behind it.
    auto feedCancelled = std::make_shared<std::atomic<bool>>(false);
    QFuture<std::optional<std::string>> feeding = QtConcurrent::run(
        &app_.recognitionWorker(), [recognizer, stream, feedCancelled]() -> std::optional<std::string> {
            try {
                // Wakes now and then to notice a cancellation while no audio comes.
                while (!feedCancelled->load()) {
                    if (std::optional<AudioBuffer> buffer = stream->next(kFeedPoll))
                        recognizer->streamLiveAudio(*buffer);
                    else if (stream->isFinished() && stream->size() == 0)
                        break;
                }
                return std::nullopt;
            } catch (const std::exception& error) {
                return std::string(error.what());
            } catch (...) {
                return std::string("An unknown error occurred.");
            }
        });
    liveAudioTask_ = LiveAudioTask{std::move(feeding), feedCancelled};
}

void DictationSession::failLiveStart(const std::string& description) {
    ControllerServices& services = app_.services();
    recordingToken_.reset();
    services.recorder->cancel();
    services.hud->showMessage(kStartFailedHud);
    app_.setUIState(UIState::idle);
    app_.updateIcon(true);
    app_.startAmbientMeterIfPossible();
    app_.setLastError("Could not start live transcription: " + description);
    services.sounds->play("Basso");
}

QCoro::Task<> DictationSession::cancelLive() {
    const std::shared_ptr<SpeechRecognizer> recognizer = app_.recognizer();
    QCoro::Task<> cancelling = runOnWorker(app_.recognitionWorker(), [recognizer] { recognizer->cancelLive(); });
    try {
        co_await std::move(cancelling);
    } catch (...) {
        // Cancelling is best effort: there may be no live session left to cancel.
    }
}

void DictationSession::stopAndTranscribe() {
    ControllerServices& services = app_.services();
    app_.setHandsFree(false);
    services.hud->showProcessing();

    recordingToken_.reset();
    if (liveStartTask_) liveStartTask_->store(true);

    const std::optional<std::filesystem::path> file = services.recorder->stop();
    if (!file) {
        cancelLive();
        services.hud->hide();
        app_.setUIState(UIState::idle);
        app_.updateIcon(true);
        app_.startAmbientMeterIfPossible();
        return;
    }

    const bool overrun = services.recorder->takeStreamingOverrun();
    app_.setUIState(UIState::processing);
    app_.updateIcon(true);
    app_.startAmbientMeterIfPossible();

    std::optional<double> duration;
    if (recordingStartedAt_) duration = services.clock->uptime() - *recordingStartedAt_;
    recordingStartedAt_.reset();

    ProcessingJob job{*file, std::move(liveAudioTask_), overrun, std::move(recordingTargetApp_), duration};
    liveAudioTask_.reset();
    recordingTargetApp_.reset();
    process(std::move(job));
}

QCoro::Task<> DictationSession::process(ProcessingJob job) {
    const RecordingFile recording(job.file);
    QPointer<AppDelegate> self(&app_);
    const std::shared_ptr<SpeechRecognizer> recognizer = app_.recognizer();
    QThreadPool& worker = app_.recognitionWorker();

    if (job.liveAudio) {
        const std::optional<std::string> message = co_await job.liveAudio->result;
        if (!self) co_return;
        if (message) app_.setLastError("Live transcription paused: " + *message);
    }

    std::optional<std::string> liveText;
    if (job.overrun) {
        co_await cancelLive();
        logInfo("Project Vesk is verifying the complete recording after live-caption backpressure.");
    } else {
        QCoro::Task<std::string> finishing = runOnWorker(worker, [recognizer] { return recognizer->finishLive(); });
        try {
            liveText = co_await std::move(finishing);
        } catch (...) {
            // No live text and no message: the whole-file recognition decides.
        }
    }
    if (!self) co_return;

    app_.setTransformStatus(kFinalizingStatus);
    std::string text;
    std::vector<ConfidenceIssue> issues;
    bool recognized = false;
    std::exception_ptr failure;
    DetailedTranscription result;
    QCoro::Task<DetailedTranscription> transcribing = runOnWorker(worker, [recognizer, file = job.file] {
        return recognizer->transcribeDetailed(file, LearnedStore::biasTerms());
    });
    try {
        result = co_await std::move(transcribing);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) co_return;
    if (!failure) {
        text = std::move(result.text);
        issues = std::move(result.confidenceIssues);
        recognized = true;
    } else {
        const std::string description = describe(failure);
        if (liveText && !unicode::trimWhitespaceAndNewlines(*liveText).empty()) {
            text = *liveText;
            recognized = true;
        } else {
            app_.setLastError("Transcription failed: " + description);
            app_.services().hud->showMessage("Transcription failed");
            app_.services().sounds->play("Basso");
        }
    }

    if (recognized) {
        // The text pipeline reads the person's dictionary, corrections and snippets afresh.
        QCoro::Task<TidiedText> tidying = runOnWorker(worker, [text] {
            return TidiedText{TextPipeline::exact(text), TextPipeline::clean(text)};
        });
        const TidiedText tidied = co_await std::move(tidying);
        if (!self) co_return;
        if (tidied.exact.empty()) {
            app_.setLastError(kNoWordsError);
            app_.services().hud->showMessage("No speech detected");
            app_.setUIState(UIState::idle);
            app_.updateIcon(true);
        } else {
            app_.current().exactTranscript = tidied.exact;
            app_.current().cleanTranscript = tidied.clean.empty() ? tidied.exact : tidied.clean;
            const OutputMode mode = app_.outputMode();
            app_.setTransformStatus(app_.delivery().statusForRendering(mode));
            QCoro::Task<PromptAssessment> rendering = app_.delivery().renderSpeech(mode);
            const PromptAssessment assessment = co_await std::move(rendering);
            if (!self) co_return;
            app_.delivery().deliver(assessment, mode, issues, job.target, job.duration);
        }
    }

    if (app_.uiState() == UIState::processing) {
        app_.setUIState(UIState::idle);
        app_.updateIcon(true);
    }
}

void DictationSession::cancelRecording() {
    ControllerServices& services = app_.services();
    services.hud->hide();
    recordingToken_.reset();
    if (liveStartTask_) liveStartTask_->store(true);
    if (liveAudioTask_) liveAudioTask_->cancelled->store(true);
    services.recorder->cancel();
    cancelLive();

    recordingStartedAt_.reset();
    recordingTargetApp_.reset();
    app_.current().historyEntryID.reset();
    app_.setConfidenceIssues({});
    app_.current().exactTranscript.clear();
    app_.current().cleanTranscript.clear();
    app_.setLiveCaption("", "");

    app_.setUIState(UIState::idle);
    app_.updateIcon(true);
    app_.startAmbientMeterIfPossible();
}

}  // namespace vesk

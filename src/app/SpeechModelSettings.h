#pragma once

#include "speech/ModelDownload.h"
#include "ui/AppModel.h"

#include <QCoro/QCoroTask>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vesk {

class AppDelegate;
class SpeechRecognizer;

// The speech model download that runs now, as its thread reports it: written on the
// downloading thread through `observer()`, read on the main thread.
class DownloadRelay : public std::enable_shared_from_this<DownloadRelay> {
public:
    // Holds the relay for as long as a download may report to it.
    std::shared_ptr<const DownloadObserver> observer();
    // A new download begins: nothing received, not cancelled.
    void reset();
    void requestCancel() { cancel_.store(true); }
    bool cancelRequested() const { return cancel_.load(); }
    int64_t received() const { return received_.load(); }
    std::optional<int64_t> total() const;
    // The share received, 0 when the size is not known yet.
    double fraction() const;

private:
    std::atomic<int64_t> received_{0};
    std::atomic<int64_t> total_{-1};
    std::atomic<bool> cancel_{false};
};

// The speech engine and its model as the settings page shows them: the choice of engine
// and whisper model, whether the model is installed, and its download (started at launch
// when the model is missing, or by the person), with progress and a way to cancel it.
// Downloads run on a thread of their own, never on the recognition worker: while one runs
// the automatic engine recognizes with PocketSphinx.
//
// Main thread only. Owned by the controller, which it must not outlive.
class SpeechModelSettings {
public:
    explicit SpeechModelSettings(AppDelegate& app);
    // Cancels a download that still runs and waits for it to end.
    ~SpeechModelSettings();

    // What recognizers report their downloads to.
    std::shared_ptr<const DownloadObserver> downloadObserver() { return relay_->observer(); }

    SpeechModelState state() const;
    // The whole percentage of a running download; nothing when none runs.
    std::optional<int> downloadPercent() const;

    void setEngine(const std::string& engine);
    void setModel(const std::string& model);
    // The person asked: download now, even after a recent failure.
    void download();
    void cancel();
    // At launch and after a locale change: make sure the model of `recognizer` is there,
    // showing the download if one is needed; failures are reported when recognition is used.
    void ensureInstalled(std::shared_ptr<SpeechRecognizer> recognizer);

private:
    QCoro::Task<> run(std::shared_ptr<SpeechRecognizer> recognizer, bool now, bool adopt);
    bool modelInstalled() const;
    bool needsDownload() const;
    void poll();
    void changed();

    AppDelegate& app_;
    std::shared_ptr<DownloadRelay> relay_ = std::make_shared<DownloadRelay>();
    QThreadPool installWorker_;
    QTimer poll_;
    bool downloading_ = false;
    std::optional<std::string> error_;
    std::optional<int> shownPercent_;
};

}  // namespace vesk

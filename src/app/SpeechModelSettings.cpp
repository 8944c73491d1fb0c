#include "app/SpeechModelSettings.h"

#include "app/AppDelegate.h"
#include "app/WorkerTask.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "speech/SpeechEngines.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace vesk {
namespace {

constexpr int kPollMs = 250;

std::string engineSetting() {
    const std::optional<std::string> setting = Settings::string("speechEngine");
    switch (engineChoice(setting)) {
        case EngineChoice::whisper: return "whisper";
        case EngineChoice::pocketsphinx: return "pocketsphinx";
        case EngineChoice::automatic: return "auto";
    }
    return "auto";
}

}  // namespace

std::shared_ptr<const DownloadObserver> DownloadRelay::observer() {
    auto observer = std::make_shared<DownloadObserver>();
    std::weak_ptr<DownloadRelay> relay = weak_from_this();
    observer->progress = [relay](int64_t received, std::optional<int64_t> total) {
        if (const auto self = relay.lock()) {
            self->received_.store(received);
            self->total_.store(total.value_or(-1));
        }
    };
    observer->cancelled = [relay] {
        const auto self = relay.lock();
        return !self || self->cancel_.load();
    };
    return observer;
}

void DownloadRelay::reset() {
    received_.store(0);
    total_.store(-1);
    cancel_.store(false);
}

std::optional<int64_t> DownloadRelay::total() const {
    const int64_t total = total_.load();
    return total > 0 ? std::optional<int64_t>(total) : std::nullopt;
}

double DownloadRelay::fraction() const {
    const std::optional<int64_t> size = total();
    if (!size) return 0.0;
    return std::clamp(static_cast<double>(received()) / static_cast<double>(*size), 0.0, 1.0);
}

SpeechModelSettings::SpeechModelSettings(AppDelegate& app) : app_(app) {
    installWorker_.setMaxThreadCount(1);
    poll_.setInterval(kPollMs);
    QObject::connect(&poll_, &QTimer::timeout, &app_, [this] { poll(); });
}

SpeechModelSettings::~SpeechModelSettings() {
    // A download may run for minutes: the application ends now, not after it.
    relay_->requestCancel();
    installWorker_.waitForDone();
}

bool SpeechModelSettings::modelInstalled() const {
    const std::string model = whisperModelName(app_.localeID(), Settings::string("speechModel"));
    std::error_code error;
    return std::filesystem::is_regular_file(modelsDirectory() / whisperModelFileName(model), error);
}

bool SpeechModelSettings::needsDownload() const {
    return engineSetting() != "pocketsphinx" && isSupportedLocale(app_.localeID()) && !modelInstalled();
}

SpeechModelState SpeechModelSettings::state() const {
    SpeechModelState state;
    state.engine = engineSetting();
    state.model = whisperModelName(app_.localeID(), Settings::string("speechModel"));
    state.models = whisperModelNames();
    state.installed = modelInstalled();
    std::error_code error;
    if (state.installed) {
        const auto size = std::filesystem::file_size(modelsDirectory() / whisperModelFileName(state.model), error);
        if (!error) state.sizeBytes = static_cast<int64_t>(size);
    } else if (downloading_ && relay_->total()) {
        state.sizeBytes = relay_->total();
    } else if (const auto source = whisperModelSource(state.model)) {
        state.sizeBytes = source->size;
    }
    if (downloading_) state.downloadProgress = relay_->fraction();
    state.downloadError = error_;
    if (!state.installed && state.engine == "auto")
        state.note = "Until it is downloaded, dictation uses PocketSphinx.";
    else if (!state.installed && state.engine == "whisper")
        state.note = "Dictation needs this model: download it first.";
    return state;
}

std::optional<int> SpeechModelSettings::downloadPercent() const {
    if (!downloading_) return std::nullopt;
    return static_cast<int>(std::lround(relay_->fraction() * 100.0));
}

void SpeechModelSettings::changed() {
    emit app_.speechModelStateChanged();
    // The tray's tooltip shows a download's progress.
    app_.updateIcon(true);
}

void SpeechModelSettings::setEngine(const std::string& engine) {
    if (engine == engineSetting()) return;
    Settings::setString("speechEngine", engine);
    error_.reset();
    app_.replaceRecognizer(app_.makeRecognizer(app_.localeID()));
    changed();
}

void SpeechModelSettings::setModel(const std::string& model) {
    if (model == whisperModelName(app_.localeID(), Settings::string("speechModel"))) return;
    Settings::setString("speechModel", model);
    error_.reset();
    app_.replaceRecognizer(app_.makeRecognizer(app_.localeID()));
    changed();
}

void SpeechModelSettings::download() {
    if (downloading_) return;
    // A fresh recognizer: the current one may have given up on the model for good (it
    // fell back to PocketSphinx after a failed download).
    run(app_.makeRecognizer(app_.localeID()), true, true);
}

void SpeechModelSettings::cancel() {
    if (downloading_) relay_->requestCancel();
}

void SpeechModelSettings::ensureInstalled(std::shared_ptr<SpeechRecognizer> recognizer) {
    if (downloading_ || !needsDownload()) {
        // Nothing to show: still make sure of it (a model found damaged, another engine).
        installWorker_.start([recognizer] {
            try {
                recognizer->ensureModelInstalled();
            } catch (...) {
            }
        });
        return;
    }
    run(std::move(recognizer), false, false);
}

QCoro::Task<> SpeechModelSettings::run(std::shared_ptr<SpeechRecognizer> recognizer, bool now, bool adopt) {
    relay_->reset();
    downloading_ = true;
    error_.reset();
    shownPercent_.reset();
    poll_.start();
    changed();
    QPointer<AppDelegate> self(&app_);
    QCoro::Task<> installing = runOnWorker(installWorker_, [recognizer, now] {
        if (now)
            recognizer->installModelNow();
        else
            recognizer->ensureModelInstalled();
    });
    std::optional<std::string> failure;
    try {
        co_await std::move(installing);
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "The speech model could not be installed.";
    }
    if (!self) co_return;
    poll_.stop();
    downloading_ = false;
    if (modelInstalled()) {
        // A download the person asked for serves the next dictation.
        if (adopt) app_.replaceRecognizer(std::move(recognizer));
    } else if (!failure && engineSetting() != "pocketsphinx") {
        // The automatic engine fell back quietly; the page still says why the model is missing.
        if (relay_->cancelRequested())
            failure = "The download was cancelled; downloading again resumes it.";
        else if (const auto recent = recentDownloadFailure(modelsDirectory()))
            failure = recent->reason;
        else
            failure = "The speech model could not be downloaded.";
    }
    error_ = failure;
    changed();
}

void SpeechModelSettings::poll() {
    const std::optional<int> percent = downloadPercent();
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    changed();
}

}  // namespace vesk

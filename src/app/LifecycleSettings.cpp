#include "app/LifecycleSettings.h"

#include "app/AppDelegate.h"
#include "app/EntryEditor.h"
#include "app/SpeechModelSettings.h"
#include "app/WorkerTask.h"
#include "core/Error.h"
#include "core/Log.h"
#include "rewriting/VoiceProfile.h"
#include "text/Words.h"
#include "visualization/MenuBarWaveformRenderer.h"

#include <QPointer>

#include <algorithm>
#include <cstdio>

namespace vesk {
namespace {

struct IconLook {
    QColor tint;  // invalid: the desktop's own label colour
    const char* word;
};

IconLook iconLook(UIState state) {
    switch (state) {
        case UIState::idle: return {QColor(), "listening"};
        case UIState::recording: return {QColor(0xFF, 0x95, 0x00), "recording"};
        case UIState::processing: return {QColor(0xAF, 0x52, 0xDE), "processing"};
        case UIState::ready: return {QColor(0x34, 0xC7, 0x59), "result ready"};
    }
    return {QColor(), "listening"};
}

std::string formatted(const char* format, std::string_view source, double level) {
    char line[160];
    std::snprintf(line, sizeof line, format, std::string(source).c_str(), level);
    return line;
}

}  // namespace

LifecycleSettings::LifecycleSettings(AppDelegate& app) : app_(app) {}

void LifecycleSettings::launch() {
    ControllerServices& services = app_.services();
    app_.setEntries(services.history->entries());
    updateIcon(true);
    refreshPermissions();
    services.keys->startMonitoring();
    if (services.transforms) {
        QPointer<AppDelegate> self(&app_);
        services.transforms->setHandlers(
            [self](std::optional<std::string> status) {
                if (self) self->setTransformStatus(std::move(status));
            },
            [self](std::string error) {
                if (self) self->setLastError(std::move(error));
            });
        services.transforms->startMonitoring();
    }
    showMainWindow();
    requestMicrophone();
    ensureModelInstalled();
    refreshVoiceProfileIfDue(false);
}

QCoro::Task<> LifecycleSettings::requestMicrophone() {
    QPointer<AppDelegate> self(&app_);
    QCoro::Task<bool> asking = app_.services().microphone->requestAccess();
    const bool granted = co_await std::move(asking);
    if (!self) co_return;
    app_.setMicAuthorized(granted);
    if (granted) startAmbientMeterIfPossible();
}

void LifecycleSettings::ensureModelInstalled() {
    // In the background, never on the recognition worker: a dictation during a download
    // recognizes with what is installed. Failures are reported when recognition is used.
    app_.speechModels().ensureInstalled(app_.recognizer());
}

void LifecycleSettings::terminate() {
    if (app_.services().ambientMeter->isRunning()) app_.services().ambientMeter->stop();
}

void LifecycleSettings::mainWindowWillClose() {
    if (!app_.services().surfaces->isPopoverShown()) app_.services().ambientMeter->stop();
}

void LifecycleSettings::popoverDidShow() { startAmbientMeterIfPossible(); }

void LifecycleSettings::popoverDidClose() {
    ControllerServices& services = app_.services();
    if (!services.surfaces->isMainWindowVisible() && app_.uiState() != UIState::recording &&
        !services.recorder->isRecording())
        services.ambientMeter->stop();
}

void LifecycleSettings::showMainWindow() {
    app_.services().surfaces->presentMainWindow();
    refreshPermissions();
    startAmbientMeterIfPossible();
}

void LifecycleSettings::updateIcon(bool force) {
    TrayIconSink* tray = app_.services().tray.get();
    if (!tray) return;
    const double now = app_.services().clock->uptime();
    if (!force && now - lastMenuBarIconUpdate_ < kIconInterval) return;
    lastMenuBarIconUpdate_ = now;
    const IconLook look = iconLook(app_.uiState());
    QString word = QString::fromUtf8(look.word);
    // While nothing else is going on, the tooltip follows a speech model download.
    if (const auto percent = app_.speechModels().downloadPercent(); percent && app_.uiState() == UIState::idle)
        word = QStringLiteral("downloading the speech model (%1%)").arg(*percent);
    tray->setIcon(MenuBarWaveformRenderer::image(menuBarWaveform_), look.tint,
                  QStringLiteral("Project Vesk · ") + word);
}

void LifecycleSettings::updateAudioVisualFrame(float level, const WaveformFrame& frame, std::string_view source) {
    app_.audioVisual().update(level, frame);
    const bool silent =
        level == 0.0f && std::all_of(frame.full.begin(), frame.full.end(), [](float s) { return s == 0; });
    // A silent recorder frame (the recording just started or ended) keeps the icon's curve.
    if (!(source == "recording" && silent)) menuBarWaveform_.assign(frame.full.begin(), frame.full.end());
    updateIcon(false);
    if (!hasLoggedAudioBuffer_) {
        hasLoggedAudioBuffer_ = true;
        logInfo(formatted("Project Vesk microphone callback active (source=%s)", source, 0));
    } else if (!hasLoggedAudibleInput_ && level > 0.04f) {
        hasLoggedAudibleInput_ = true;
        logInfo(formatted("Project Vesk audible input detected (source=%s, level=%.3f)", source, level));
    }
}

void LifecycleSettings::refreshPermissions() {
    ControllerServices& services = app_.services();
    const bool wasTrusted = app_.axTrusted();
    const bool wasAuthorized = app_.micAuthorized();
    app_.setAxTrusted(services.keyboard->isTrusted());
    if (!wasTrusted && app_.axTrusted()) services.keys->startMonitoring();
    app_.setMicAuthorized(services.microphone->isAuthorized());
    if (!wasAuthorized && app_.micAuthorized()) startAmbientMeterIfPossible();
}

void LifecycleSettings::startAmbientMeterIfPossible() {
    ControllerServices& services = app_.services();
    if (!app_.micAuthorized()) return;
    if (!services.surfaces->isMainWindowVisible() && !services.surfaces->isPopoverShown()) return;
    if (app_.uiState() == UIState::recording || services.recorder->isRecording()) return;
    try {
        services.ambientMeter->start();
    } catch (const std::exception& error) {
        logWarning(std::string("Project Vesk ambient meter could not start: ") + error.what());
    }
}

void LifecycleSettings::refreshVoiceProfileIfDue(bool force) {
    long totalWords = 0;
    for (const HistoryEntry& entry : app_.entries())
        totalWords += static_cast<long>(words::splitAtWhitespace(entry.transcript).size());
    if (totalWords < kVoiceProfileMinimumWords) return;
    if (!force) {
        const std::optional<VoiceProfile> saved = VoiceProfileStore::load();
        if (saved && totalWords - saved->wordCountAtGeneration < kVoiceProfileNewWords) return;
    }
    generateVoiceProfile(totalWords);
}

QCoro::Task<> LifecycleSettings::generateVoiceProfile(long totalWords) {
    QPointer<AppDelegate> self(&app_);
    const std::shared_ptr<RewriteService> rewriter = app_.services().rewriter;
    const std::vector<HistoryEntry> entries = app_.entries();
    QCoro::Task<std::optional<VoiceProfile>> generating = VoiceProfileStore::generate(entries, totalWords, *rewriter);
    const std::optional<VoiceProfile> profile = co_await std::move(generating);
    if (self && profile) app_.setVoiceProfile(profile);
}

void LifecycleSettings::setHotkey(Hotkey key) {
    app_.services().settings->setHotkey(key);
    if (app_.settingsValue().hotkey == key) return;
    app_.settingsValue().hotkey = key;
    app_.services().keys->setHotkey(key);
    app_.publishSetting(&AppModel::hotkeyChanged);
}

void LifecycleSettings::setSaveHistory(bool on) {
    ControllerServices& services = app_.services();
    services.settings->setSaveHistory(on);
    if (app_.settingsValue().saveHistory != on) {
        app_.settingsValue().saveHistory = on;
        app_.publishSetting(&AppModel::saveHistoryChanged);
    }
    if (on) {
        const std::vector<HistoryEntry> recent = app_.recentEntries();
        for (auto entry = recent.rbegin(); entry != recent.rend(); ++entry) services.history->add(*entry);
    }
    app_.setEntries(services.history->entries());
    if (on) refreshVoiceProfileIfDue(false);
}

void LifecycleSettings::setOutputMode(OutputMode mode) {
    const OutputMode old = app_.outputMode();
    app_.services().settings->setOutputMode(mode);
    if (old == mode) return;
    app_.settingsValue().outputMode = mode;
    app_.publishSetting(&AppModel::outputModeChanged);
    app_.editor().transformCurrentSpeech(mode);
}

void LifecycleSettings::setLocale(const std::string& locale) {
    app_.services().settings->setLocale(locale);
    if (app_.settingsValue().locale != locale) {
        app_.settingsValue().locale = locale;
        app_.publishSetting(&AppModel::localeIDChanged);
    }
    app_.replaceRecognizer(app_.makeRecognizer(locale));
    ensureModelInstalled();
}

void LifecycleSettings::setAutoPaste(bool on) {
    app_.services().settings->setAutoPaste(on);
    if (app_.settingsValue().autoPaste == on) return;
    app_.settingsValue().autoPaste = on;
    app_.publishSetting(&AppModel::autoPasteChanged);
}

void LifecycleSettings::setAutoCopy(bool on) {
    app_.services().settings->setAutoCopy(on);
    if (app_.settingsValue().autoCopy == on) return;
    app_.settingsValue().autoCopy = on;
    app_.publishSetting(&AppModel::autoCopyChanged);
}

}  // namespace vesk

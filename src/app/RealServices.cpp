#include "app/RealServices.h"

#include "core/Settings.h"
#include "system/KeyboardAccess.h"

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>

namespace vesk {

RecognizerFactory transcriberFactory() {
    return [](const std::string& locale,
              std::shared_ptr<const DownloadObserver> downloads) -> std::shared_ptr<SpeechRecognizer> {
        return std::make_shared<TranscriberRecognizer>(std::make_unique<Transcriber>(locale, std::move(downloads)));
    };
}

BackgroundHistoryStorage::BackgroundHistoryStorage(std::unique_ptr<HistoryStore> store)
    : store_(std::move(store)), entries_(store_->entries()) {
    writer_.setMaxThreadCount(1);
}

BackgroundHistoryStorage::~BackgroundHistoryStorage() { flush(); }

void BackgroundHistoryStorage::flush() { writer_.waitForDone(); }

HistoryEntry* BackgroundHistoryStorage::find(const std::string& id) {
    const auto found =
        std::find_if(entries_.begin(), entries_.end(), [&](const HistoryEntry& e) { return e.id == id; });
    return found == entries_.end() ? nullptr : &*found;
}

void BackgroundHistoryStorage::add(HistoryEntry entry) {
    std::erase_if(entries_, [&](const HistoryEntry& e) { return e.id == entry.id; });
    entries_.insert(entries_.begin(), entry);
    if (entries_.size() > HistoryStore::limit) entries_.resize(HistoryStore::limit);
    writer_.start([store = store_, entry = std::move(entry)]() mutable { store->add(std::move(entry)); });
}

bool BackgroundHistoryStorage::updateRenderedText(const std::string& id, const std::string& renderedText,
                                                  std::optional<OutputMode> mode) {
    HistoryEntry* entry = find(id);
    if (!entry) return false;
    entry->renderedText = renderedText;
    if (mode) entry->outputMode = *mode;
    writer_.start([store = store_, id, renderedText, mode] { store->updateRenderedText(id, renderedText, mode); });
    return true;
}

bool BackgroundHistoryStorage::updateTranscript(const std::string& id, const std::string& transcript,
                                                const std::string& renderedText) {
    HistoryEntry* entry = find(id);
    if (!entry) return false;
    entry->transcript = transcript;
    entry->renderedText = renderedText;
    writer_.start(
        [store = store_, id, transcript, renderedText] { store->updateTranscript(id, transcript, renderedText); });
    return true;
}

void HotkeyAdapter::setHandlers(Handlers handlers) {
    monitor_->onStart = std::move(handlers.onStart);
    monitor_->onStop = std::move(handlers.onStop);
    monitor_->onCancel = std::move(handlers.onCancel);
    monitor_->onHandsFreeChange = std::move(handlers.onHandsFreeChange);
}

QCoro::Task<bool> PulseMicrophoneAccess::requestAccess() {
    // Asking opens a connection to the sound server and may wait for it.
    QFuture<bool> asking = QtConcurrent::run([] { return AudioRecorder::requestMicrophoneAccess(); });
    authorized_ = co_await asking;
    co_return authorized_;
}

bool ProbedKeyboardTrust::isTrusted() { return probeKeyboardAccess().granted(); }

void TransformManagerAdapter::setHandlers(std::function<void(std::optional<std::string>)> onStatus,
                                          std::function<void(std::string)> onError) {
    manager_->onStatus = std::move(onStatus);
    manager_->onError = std::move(onError);
}

double SystemClock::uptime() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double SystemClock::unixTime() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

ControllerSettings SettingsPreferences::read() {
    return {Settings::hotkey(), Settings::saveHistory(), Settings::outputMode(),
            Settings::locale(), Settings::autoPaste(),   Settings::autoCopy()};
}
void SettingsPreferences::setHotkey(Hotkey key) { Settings::setHotkey(key); }
void SettingsPreferences::setSaveHistory(bool on) { Settings::setSaveHistory(on); }
void SettingsPreferences::setOutputMode(OutputMode mode) { Settings::setOutputMode(mode); }
void SettingsPreferences::setLocale(const std::string& locale) { Settings::setLocale(locale); }
void SettingsPreferences::setAutoPaste(bool on) { Settings::setBoolean("autoPaste", on); }
void SettingsPreferences::setAutoCopy(bool on) { Settings::setBoolean("autoCopy", on); }

}  // namespace vesk

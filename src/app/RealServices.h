#pragma once

#include "app/ControllerPorts.h"
#include "audio/AmbientAudioMeter.h"
#include "audio/AudioRecorder.h"
#include "audio/SystemSounds.h"
#include "history/HistoryStore.h"
#include "speech/Transcriber.h"
#include "system/Clipboard.h"
#include "system/FocusTracker.h"
#include "system/HotkeyMonitor.h"
#include "system/TextInserter.h"
#include "system/TransformManager.h"

#include <QThreadPool>

#include <memory>

// The controller's ports over the real services. Each adapter is thin: it forwards to
// the service it holds and shares ownership of it with whoever else needs it.
namespace vesk {

class RecorderAdapter final : public DictationRecorder {
public:
    explicit RecorderAdapter(std::shared_ptr<Recorder> recorder) : recorder_(std::move(recorder)) {}
    std::shared_ptr<AudioBufferStream> start() override { return recorder_->start(); }
    std::optional<std::filesystem::path> stop() override { return recorder_->stop(); }
    void cancel() override { recorder_->cancel(); }
    bool takeStreamingOverrun() override { return recorder_->takeStreamingOverrun(); }
    bool isRecording() const override { return recorder_->isRecording(); }

private:
    std::shared_ptr<Recorder> recorder_;
};

class TranscriberRecognizer final : public SpeechRecognizer {
public:
    explicit TranscriberRecognizer(std::unique_ptr<Transcriber> transcriber) : transcriber_(std::move(transcriber)) {}
    void startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) override {
        transcriber_->startLive(biasTerms, std::move(onUpdate));
    }
    void streamLiveAudio(const AudioBuffer& buffer) override { transcriber_->streamLiveAudio(buffer); }
    std::string finishLive() override { return transcriber_->finishLive(); }
    void cancelLive() override { transcriber_->cancelLive(); }
    DetailedTranscription transcribeDetailed(const std::filesystem::path& file,
                                             const std::vector<std::string>& biasTerms) override {
        return transcriber_->transcribeDetailed(file, biasTerms);
    }
    void ensureModelInstalled() override { transcriber_->ensureModelInstalled(); }
    void installModelNow() override { transcriber_->installModelNow(); }

private:
    std::unique_ptr<Transcriber> transcriber_;
};

// The recognizer of the settings' engine for each locale.
RecognizerFactory transcriberFactory();

// "history.json" through HistoryStore, written off the main thread: the list changes at
// once in memory and the store (which only the writer thread touches after loading)
// applies the same change and saves it, one change after another.
class BackgroundHistoryStorage final : public HistoryStorage {
public:
    explicit BackgroundHistoryStorage(std::unique_ptr<HistoryStore> store);
    // Waits for the writes still queued.
    ~BackgroundHistoryStorage() override;
    std::vector<HistoryEntry> entries() const override { return entries_; }
    void add(HistoryEntry entry) override;
    bool updateRenderedText(const std::string& id, const std::string& renderedText,
                            std::optional<OutputMode> mode) override;
    bool updateTranscript(const std::string& id, const std::string& transcript,
                          const std::string& renderedText) override;
    // Blocks until every queued write is on disk (tests and shutdown).
    void flush();

private:
    HistoryEntry* find(const std::string& id);

    std::shared_ptr<HistoryStore> store_;
    std::vector<HistoryEntry> entries_;
    QThreadPool writer_;
};

class ClipboardAdapter final : public ClipboardWriter {
public:
    explicit ClipboardAdapter(std::shared_ptr<Clipboard> clipboard) : clipboard_(std::move(clipboard)) {}
    void setText(const std::string& text) override { clipboard_->setText(text); }

private:
    std::shared_ptr<Clipboard> clipboard_;
};

class InserterAdapter final : public TextPaster {
public:
    explicit InserterAdapter(std::shared_ptr<TextInserting> inserter) : inserter_(std::move(inserter)) {}
    QCoro::Task<std::optional<std::string>> insert(std::string text) override {
        const std::shared_ptr<TextInserting> inserter = inserter_;
        QCoro::Task<InsertOutcome> sending = inserter->insert(std::move(text));
        const InsertOutcome outcome = co_await std::move(sending);
        if (outcome) co_return std::optional<std::string>(outcome->description());
        co_return std::nullopt;
    }

private:
    std::shared_ptr<TextInserting> inserter_;
};

class FocusAdapter final : public FocusTargets {
public:
    explicit FocusAdapter(std::shared_ptr<FocusTracker> tracker) : tracker_(std::move(tracker)) {}
    std::optional<FocusTarget> captureFocusedApplication() override { return tracker_->captureFocusedWindow(); }
    QCoro::Task<bool> bringToFront(FocusTarget target) override { return tracker_->activate(std::move(target)); }

private:
    std::shared_ptr<FocusTracker> tracker_;
};

class SoundAdapter final : public SoundEffects {
public:
    explicit SoundAdapter(std::shared_ptr<SoundPlayer> player) : player_(std::move(player)) {}
    void play(std::string_view name) override { player_->play(name); }

private:
    std::shared_ptr<SoundPlayer> player_;
};

class HotkeyAdapter final : public DictationKeyMonitor {
public:
    explicit HotkeyAdapter(std::shared_ptr<HotkeyMonitor> monitor) : monitor_(std::move(monitor)) {}
    void setHandlers(Handlers handlers) override;
    bool startMonitoring() override { return monitor_->startMonitoring(); }
    void setHotkey(Hotkey key) override { monitor_->hotkey = key; }

private:
    std::shared_ptr<HotkeyMonitor> monitor_;
};

class AmbientMeterAdapter final : public LevelMeter {
public:
    explicit AmbientMeterAdapter(std::shared_ptr<AmbientMeter> meter) : meter_(std::move(meter)) {}
    void start() override { meter_->start(); }
    void stop() override { meter_->stop(); }
    bool isRunning() const override { return meter_->isRunning(); }

private:
    std::shared_ptr<AmbientMeter> meter_;
};

// Asks the sound server on a worker thread; remembers the answer.
class PulseMicrophoneAccess final : public MicrophoneAccess {
public:
    QCoro::Task<bool> requestAccess() override;
    bool isAuthorized() override { return authorized_; }

private:
    bool authorized_ = false;
};

// Looks again on every call: access can be granted while the program runs.
class ProbedKeyboardTrust final : public KeyboardTrust {
public:
    bool isTrusted() override;
};

class TransformManagerAdapter final : public SelectionTransforms {
public:
    explicit TransformManagerAdapter(std::shared_ptr<TransformManager> manager) : manager_(std::move(manager)) {}
    void setHandlers(std::function<void(std::optional<std::string>)> onStatus,
                     std::function<void(std::string)> onError) override;
    bool startMonitoring() override { return manager_->startMonitoring(); }

private:
    std::shared_ptr<TransformManager> manager_;
};

class SystemClock final : public ControllerClock {
public:
    double uptime() override;
    double unixTime() override;
};

// The person's settings file (core/Settings).
class SettingsPreferences final : public PreferenceStore {
public:
    ControllerSettings read() override;
    void setHotkey(Hotkey key) override;
    void setSaveHistory(bool on) override;
    void setOutputMode(OutputMode mode) override;
    void setLocale(const std::string& locale) override;
    void setAutoPaste(bool on) override;
    void setAutoCopy(bool on) override;
};

}  // namespace vesk

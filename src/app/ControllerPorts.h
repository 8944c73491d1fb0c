#pragma once

#include "audio/AudioBuffer.h"
#include "audio/AudioBufferStream.h"
#include "core/Hotkey.h"
#include "core/OutputMode.h"
#include "history/HistoryStore.h"
#include "rewriting/RewriteService.h"
#include "speech/ModelDownload.h"
#include "system/FocusTracker.h"
#include "text/ConfidenceLens.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QImage>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The host services the dictation controller drives, each seen through the small
// interface the controller needs. The application fills `ControllerServices` with the
// real adapters (RealServices.h); the controller's tests fill it with doubles. Unless a
// call says otherwise, it is made on the main thread and returns without waiting on
// recognition, the network or the disk.
namespace vesk {

// The microphone recorder of a dictation.
class DictationRecorder {
public:
    virtual ~DictationRecorder() = default;
    // Starts a recording and returns its live buffers (a bounded stream that ends when
    // the recording stops or is cancelled). Throws vesk::Error when capture cannot begin.
    virtual std::shared_ptr<AudioBufferStream> start() = 0;
    // The finished recording file; nothing when nothing was recording.
    virtual std::optional<std::filesystem::path> stop() = 0;
    // Stops and discards the recording.
    virtual void cancel() = 0;
    // Whether the live stream dropped a buffer since the last call; reading clears it.
    virtual bool takeStreamingOverrun() = 0;
    virtual bool isRecording() const = 0;
};

// Speech recognition for one locale. Every call may block for long: the controller
// makes them on its recognition worker, one at a time and in the order of a live
// session (start, stream..., finish or cancel), never on the main thread.
class SpeechRecognizer {
public:
    // finalized, provisional; called on a thread of the recognizer's own.
    using UpdateHandler = std::function<void(const std::string&, const std::string&)>;

    virtual ~SpeechRecognizer() = default;
    virtual void startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) = 0;
    // Throws when live recognition cannot go on (LiveAudioOverrun when it fell behind).
    virtual void streamLiveAudio(const AudioBuffer& buffer) = 0;
    virtual std::string finishLive() = 0;
    virtual void cancelLive() = 0;
    virtual DetailedTranscription transcribeDetailed(const std::filesystem::path& file,
                                                     const std::vector<std::string>& biasTerms) = 0;
    // Returns once the model is installed (or the engine fell back to another one);
    // `installModelNow` tries even after a recent failure. Either may download for minutes.
    virtual void ensureModelInstalled() = 0;
    virtual void installModelNow() = 0;
};

// Makes the recognizer for a locale (when the controller starts, when the locale or the
// engine changes, and for a download the person asked for). Its model downloads report
// to `downloads`.
using RecognizerFactory = std::function<std::shared_ptr<SpeechRecognizer>(
    const std::string& locale, std::shared_ptr<const DownloadObserver> downloads)>;

// The stored history ("history.json"). Changes apply to `entries` at once; writing the
// file may happen later, off the main thread, in the order of the changes.
class HistoryStorage {
public:
    virtual ~HistoryStorage() = default;
    virtual std::vector<HistoryEntry> entries() const = 0;
    // Inserts as newest, replacing an entry with the same id, keeping the newest 50.
    virtual void add(HistoryEntry entry) = 0;
    // Edits of the first entry with `id`; false (and nothing written) when there is none.
    virtual bool updateRenderedText(const std::string& id, const std::string& renderedText,
                                    std::optional<OutputMode> mode) = 0;
    virtual bool updateTranscript(const std::string& id, const std::string& transcript,
                                  const std::string& renderedText) = 0;
};

// The desktop clipboard, as far as the controller writes it.
class ClipboardWriter {
public:
    virtual ~ClipboardWriter() = default;
    // Clears the clipboard and puts `text` on it as plain text.
    virtual void setText(const std::string& text) = 0;
};

// Pastes into the focused application, keeping the person's clipboard (see TextInserter).
class TextPaster {
public:
    virtual ~TextPaster() = default;
    // Ends once the paste keys were sent, or could not be: then the sentence that says so
    // (the text is left on the clipboard for the person to paste). Nothing on success.
    virtual QCoro::Task<std::optional<std::string>> insert(std::string text) = 0;
};

// The application that had focus when a recording began, and bringing it back.
class FocusTargets {
public:
    virtual ~FocusTargets() = default;
    // The focused window of another application; nothing when none is known or the
    // focused window is one of ours.
    virtual std::optional<FocusTarget> captureFocusedApplication() = 0;
    // Brings `target` back to the front; completes on the main thread.
    virtual QCoro::Task<bool> bringToFront(FocusTarget target) = 0;
};

// "Pop", "Basso" and "Tink"; plays without waiting and reports nothing.
class SoundEffects {
public:
    virtual ~SoundEffects() = default;
    virtual void play(std::string_view name) = 0;
};

// The floating status panel.
class DictationHud {
public:
    virtual ~DictationHud() = default;
    virtual void showRecording() = 0;
    virtual void showProcessing() = 0;
    virtual void showMessage(const std::string& text) = 0;
    virtual void showResult(const std::string& text, const std::string& status) = 0;
    virtual void hide() = 0;
};

// The tray icon: the drawn waveform, tinted by state, with a tooltip.
class TrayIconSink {
public:
    virtual ~TrayIconSink() = default;
    virtual void setIcon(const QImage& image, const QColor& tint, const QString& tooltip) = 0;
};

// The dictation key. The handlers are called on the main thread.
class DictationKeyMonitor {
public:
    struct Handlers {
        std::function<void()> onStart;
        std::function<void()> onStop;
        std::function<void()> onCancel;
        std::function<void(bool)> onHandsFreeChange;
    };
    virtual ~DictationKeyMonitor() = default;
    virtual void setHandlers(Handlers handlers) = 0;
    // (Re)starts observing the key; false when it cannot be observed.
    virtual bool startMonitoring() = 0;
    virtual void setHotkey(Hotkey key) = 0;
};

// The idle-time level meter.
class LevelMeter {
public:
    virtual ~LevelMeter() = default;
    // Throws vesk::Error when the microphone cannot be opened; nothing while running.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// Whether the microphone may be used.
class MicrophoneAccess {
public:
    virtual ~MicrophoneAccess() = default;
    // Asks (off the main thread where asking blocks); completes on the main thread.
    virtual QCoro::Task<bool> requestAccess() = 0;
    // The last known answer; cheap.
    virtual bool isAuthorized() = 0;
};

// Keyboard access: the dictation key is observed system-wide and keys can be sent.
class KeyboardTrust {
public:
    virtual ~KeyboardTrust() = default;
    virtual bool isTrusted() = 0;
};

// The Alt+1 / Alt+2 selection transforms.
class SelectionTransforms {
public:
    virtual ~SelectionTransforms() = default;
    // Both are called on the main thread: progress (nothing when done) and failures.
    virtual void setHandlers(std::function<void(std::optional<std::string>)> onStatus,
                             std::function<void(std::string)> onError) = 0;
    virtual bool startMonitoring() = 0;
};

// Time, injectable so that throttles and durations can be tested.
class ControllerClock {
public:
    virtual ~ControllerClock() = default;
    // Seconds on a monotonic clock (since boot).
    virtual double uptime() = 0;
    // Seconds since the Unix epoch.
    virtual double unixTime() = 0;
};

// The person's preferences, read once into a value and written key by key.
struct ControllerSettings {
    Hotkey hotkey = Hotkey::rightControl;
    bool saveHistory = false;
    OutputMode outputMode = OutputMode::prompt;
    std::string locale = "en-US";
    bool autoPaste = false;
    bool autoCopy = false;
};

class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;
    virtual ControllerSettings read() = 0;
    virtual void setHotkey(Hotkey key) = 0;
    virtual void setSaveHistory(bool on) = 0;
    virtual void setOutputMode(OutputMode mode) = 0;
    virtual void setLocale(const std::string& locale) = 0;
    virtual void setAutoPaste(bool on) = 0;
    virtual void setAutoCopy(bool on) = 0;
};

// The windows, as far as the controller needs to know about them.
class AppSurfaces {
public:
    virtual ~AppSurfaces() = default;
    virtual bool isMainWindowVisible() = 0;
    virtual bool isPopoverShown() = 0;
    // Creates the console window once and brings it to the front.
    virtual void presentMainWindow() = 0;
    virtual void quitApplication() = 0;
};

// Everything the controller drives. Every member must be set except `tray` (no tray
// icon) and `transforms` (no selection transforms). The controller owns what it is given.
struct ControllerServices {
    std::unique_ptr<DictationRecorder> recorder;
    RecognizerFactory makeRecognizer;
    std::shared_ptr<RewriteService> rewriter;
    std::unique_ptr<HistoryStorage> history;
    std::unique_ptr<ClipboardWriter> clipboard;
    std::unique_ptr<TextPaster> inserter;
    std::unique_ptr<FocusTargets> focus;
    std::unique_ptr<SoundEffects> sounds;
    std::unique_ptr<DictationHud> hud;
    std::unique_ptr<TrayIconSink> tray;
    std::unique_ptr<DictationKeyMonitor> keys;
    std::unique_ptr<LevelMeter> ambientMeter;
    std::unique_ptr<MicrophoneAccess> microphone;
    std::unique_ptr<KeyboardTrust> keyboard;
    std::unique_ptr<SelectionTransforms> transforms;
    std::unique_ptr<ControllerClock> clock;
    std::unique_ptr<PreferenceStore> settings;
    std::unique_ptr<AppSurfaces> surfaces;
    // Between bringing the target back and pasting: time for it to take focus.
    std::chrono::milliseconds pasteDelay{250};
};

}  // namespace vesk

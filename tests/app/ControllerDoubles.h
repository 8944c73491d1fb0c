#pragma once

// Doubles for every service the dictation controller drives, named as doubles. They
// write what they were asked into one shared journal, so a test can check the order of
// effects across services ("hud.showRecording", "sound.Pop", "recorder.start", ...).

#include "app/ControllerPorts.h"
#include "core/Delay.h"
#include "core/Error.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>

namespace vesk::test {

class Journal {
public:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    size_t count(const std::string& line) const {
        const auto all = lines();
        return static_cast<size_t>(std::count(all.begin(), all.end(), line));
    }
    bool has(const std::string& line) const { return count(line) > 0; }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    // The lines among `wanted`, in the order they happened.
    std::vector<std::string> only(const std::vector<std::string>& wanted) const {
        std::vector<std::string> result;
        for (const std::string& line : lines())
            if (std::find(wanted.begin(), wanted.end(), line) != wanted.end()) result.push_back(line);
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The journal a double writes to; the test owns it and outlives the double.
class JournalingDouble {
public:
    explicit JournalingDouble(Journal& journal) : journal_(journal) {}

protected:
    Journal& journal_;
};

// A recorder whose recording is a small real file in the temporary directory, so the
// tests can see it deleted; its live stream is fed by the test.
class RecorderDouble final : public DictationRecorder, JournalingDouble {
public:
    RecorderDouble(Journal& journal, std::filesystem::path directory)
        : JournalingDouble(journal), directory_(std::move(directory)) {}
    std::shared_ptr<AudioBufferStream> start() override {
        journal_.add("recorder.start");
        if (failure) throw *failure;
        recording_ = true;
        stream = std::make_shared<AudioBufferStream>(128);
        file = directory_ / ("project-vesk-double-" + std::to_string(++count_) + ".caf");
        std::ofstream(file) << "audio";
        return stream;
    }
    std::optional<std::filesystem::path> stop() override {
        journal_.add("recorder.stop");
        if (!std::exchange(recording_, false)) return std::nullopt;
        stream->finish();
        return file;
    }
    void cancel() override {
        journal_.add("recorder.cancel");
        recording_ = false;
        if (stream) stream->finish();
    }
    bool takeStreamingOverrun() override { return std::exchange(overrun, false); }
    bool isRecording() const override { return recording_; }

    std::optional<Error> failure;
    bool overrun = false;
    std::shared_ptr<AudioBufferStream> stream;
    std::filesystem::path file;

private:
    std::filesystem::path directory_;
    bool recording_ = false;
    int count_ = 0;
};

// A recognizer scripted per call; called on the controller's worker thread.
class RecognizerDouble final : public SpeechRecognizer, JournalingDouble {
public:
    explicit RecognizerDouble(Journal& journal, std::string locale = "en-US")
        : JournalingDouble(journal), locale(std::move(locale)) {}

    void startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) override {
        journal_.add("recognizer.startLive");
        {
            std::unique_lock lock(mutex_);
            liveBiasTerms = biasTerms;
            onUpdate_ = std::move(onUpdate);
            gateOpened_.wait(lock, [&] { return gateOpen_; });
        }
        if (startFailure) throw *startFailure;
    }
    void streamLiveAudio(const AudioBuffer&) override {
        const int n = ++streamed;
        if (streamFailureAfter && n > *streamFailureAfter) throw Error(kErrorDomain, 9, "The live feed broke.");
    }
    std::string finishLive() override {
        journal_.add("recognizer.finishLive");
        if (!liveText) throw Error(kErrorDomain, 3, "No live session.");
        return *liveText;
    }
    void cancelLive() override { journal_.add("recognizer.cancelLive"); }
    DetailedTranscription transcribeDetailed(const std::filesystem::path& file,
                                             const std::vector<std::string>&) override {
        journal_.add("recognizer.transcribeDetailed");
        {
            std::unique_lock lock(mutex_);
            gateOpened_.wait(lock, [&] { return gateOpen_; });
        }
        fileExistedWhenTranscribed = std::filesystem::exists(file);
        if (throwPlainException) throw 42;  // something that is not even an exception type
        if (fileFailure) throw *fileFailure;
        return result;
    }
    void ensureModelInstalled() override {
        journal_.add("recognizer.ensureModelInstalled");
        if (install) install();
    }
    void installModelNow() override {
        journal_.add("recognizer.installModelNow");
        if (install) install();
    }
    // What installing does (on the controller's install thread); nothing when unset.
    std::function<void()> install;
    // What the controller gave for following downloads.
    std::shared_ptr<const DownloadObserver> downloads;

    // Holds startLive and whole-file recognition until opened (a busy recognizer).
    void closeGate() {
        std::lock_guard lock(mutex_);
        gateOpen_ = false;
    }
    void openGate() {
        {
            std::lock_guard lock(mutex_);
            gateOpen_ = true;
        }
        gateOpened_.notify_all();
    }
    // Sends a live caption from a thread of its own, as the recognizer does.
    void sendCaption(const std::string& finalized, const std::string& provisional) {
        UpdateHandler handler;
        {
            std::lock_guard lock(mutex_);
            handler = onUpdate_;
        }
        std::thread([handler, finalized, provisional] {
            if (handler) handler(finalized, provisional);
        }).join();
    }

    const std::string locale;
    DetailedTranscription result{"go forward ten meters", {}};
    std::optional<std::string> liveText = std::string("go forward");
    std::optional<Error> startFailure;
    std::optional<Error> fileFailure;
    bool throwPlainException = false;
    std::optional<int> streamFailureAfter;
    std::atomic<int> streamed{0};
    std::vector<std::string> liveBiasTerms;
    std::atomic<bool> fileExistedWhenTranscribed{false};

private:
    std::mutex mutex_;
    std::condition_variable gateOpened_;
    bool gateOpen_ = true;
    UpdateHandler onUpdate_;
};

// A language model that answers each rewrite with the next scripted reply after its
// delay; without replies it fails as an unreachable server does.
class RewriteDouble final : public RewriteService {
public:
    struct Reply {
        std::string text;
        std::chrono::milliseconds delay{0};
    };
    std::optional<std::string> availabilityNote() override { return note; }
    QCoro::Task<std::string> rewrite(std::string text, std::string instructions) override {
        calls.push_back({text, instructions});
        if (replies.empty()) throw Error(kErrorDomain, 11, "The on-device model is unavailable.");
        const Reply reply = replies.front();
        replies.pop_front();
        if (reply.delay.count() > 0) co_await sleepAtLeast(reply.delay);
        co_return reply.text;
    }
    QCoro::Task<std::vector<std::string>> listModels() override {
        ++modelListings;
        const std::vector<std::string> listed = models;
        if (listDelay.count() > 0) co_await sleepAtLeast(listDelay);
        co_return listed;
    }
    std::optional<std::string> note;
    std::vector<std::string> models;
    std::chrono::milliseconds listDelay{0};
    int modelListings = 0;
    std::deque<Reply> replies;
    std::vector<std::pair<std::string, std::string>> calls;
};

class ClipboardDouble final : public ClipboardWriter, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    void setText(const std::string& value) override {
        text = value;
        journal_.add("clipboard.setText:" + value);
    }
    std::optional<std::string> text;
};

class PasterDouble final : public TextPaster, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    QCoro::Task<std::optional<std::string>> insert(std::string text) override {
        journal_.add("inserter.insert:" + text);
        co_return failure;
    }
    std::optional<std::string> failure;  // what a paste whose keys could not be sent says
};

class FocusDouble final : public FocusTargets, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    std::optional<FocusTarget> captureFocusedApplication() override {
        journal_.add("focus.capture");
        return target;
    }
    QCoro::Task<bool> bringToFront(FocusTarget front) override {
        journal_.add("focus.bringToFront:" + front.className);
        co_return true;
    }
    std::optional<FocusTarget> target = FocusTarget{42, "editor", "Editor", 4242};
};

class SoundsDouble final : public SoundEffects, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    void play(std::string_view name) override { journal_.add("sound." + std::string(name)); }
};

class HudDouble final : public DictationHud, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    void showRecording() override { journal_.add("hud.showRecording"); }
    void showProcessing() override { journal_.add("hud.showProcessing"); }
    void showMessage(const std::string& text) override { journal_.add("hud.showMessage:" + text); }
    void showResult(const std::string& text, const std::string& status) override {
        journal_.add("hud.showResult:" + text + "|" + status);
    }
    void hide() override { journal_.add("hud.hide"); }
};

class TrayDouble final : public TrayIconSink {
public:
    struct Icon {
        QImage image;
        QColor tint;
        QString tooltip;
    };
    void setIcon(const QImage& image, const QColor& tint, const QString& tooltip) override {
        icons.push_back({image, tint, tooltip});
    }
    std::vector<Icon> icons;
};

class KeyMonitorDouble final : public DictationKeyMonitor, JournalingDouble {
public:
    using JournalingDouble::JournalingDouble;
    void setHandlers(Handlers value) override { handlers = std::move(value); }
    bool startMonitoring() override {
        journal_.add("keys.startMonitoring");
        return true;
    }
    void setHotkey(Hotkey key) override { hotkey = key; }
    Handlers handlers;
    std::optional<Hotkey> hotkey;
};

class LevelMeterDouble final : public LevelMeter {
public:
    void start() override {
        ++starts;
        if (failure) throw *failure;
        running = true;
    }
    void stop() override {
        ++stops;
        running = false;
    }
    bool isRunning() const override { return running; }
    bool running = false;
    int starts = 0;
    int stops = 0;
    std::optional<Error> failure;
};

class MicrophoneDouble final : public MicrophoneAccess {
public:
    QCoro::Task<bool> requestAccess() override { co_return authorized; }
    bool isAuthorized() override { return authorized; }
    bool authorized = true;
};

class KeyboardTrustDouble final : public KeyboardTrust {
public:
    bool isTrusted() override { return trusted; }
    bool trusted = true;
};

class TransformsDouble final : public SelectionTransforms {
public:
    void setHandlers(std::function<void(std::optional<std::string>)> status,
                     std::function<void(std::string)> error) override {
        onStatus = std::move(status);
        onError = std::move(error);
    }
    bool startMonitoring() override { return monitoring = true; }
    std::function<void(std::optional<std::string>)> onStatus;
    std::function<void(std::string)> onError;
    bool monitoring = false;
};

class ClockDouble final : public ControllerClock {
public:
    double uptime() override { return now; }
    double unixTime() override { return 1'800'000'000.0 + now; }
    double now = 1000.0;
};

class PreferencesDouble final : public PreferenceStore {
public:
    ControllerSettings read() override { return values; }
    void setHotkey(Hotkey key) override { values.hotkey = key; }
    void setSaveHistory(bool on) override { values.saveHistory = on; }
    void setOutputMode(OutputMode mode) override { values.outputMode = mode; }
    void setLocale(const std::string& locale) override { values.locale = locale; }
    void setAutoPaste(bool on) override { values.autoPaste = on; }
    void setAutoCopy(bool on) override { values.autoCopy = on; }
    ControllerSettings values;
};

class SurfacesDouble final : public AppSurfaces {
public:
    bool isMainWindowVisible() override { return mainWindowVisible; }
    bool isPopoverShown() override { return popoverShown; }
    void presentMainWindow() override {
        ++presented;
        mainWindowVisible = true;
    }
    void quitApplication() override { quit = true; }
    bool mainWindowVisible = false;
    bool popoverShown = false;
    int presented = 0;
    bool quit = false;
};

}  // namespace vesk::test

#include "app/DesktopServices.h"

#include "app/AppDelegate.h"
#include "app/DesktopShell.h"
#include "app/RealServices.h"
#include "audio/AmbientAudioMeter.h"
#include "audio/AudioRecorder.h"
#include "audio/PulseConnection.h"
#include "audio/SystemSounds.h"
#include "history/HistoryStore.h"
#include "rewriting/RewriteEngine.h"
#include "system/HotkeyMonitor.h"
#include "system/KeyboardAccess.h"
#include "system/QtClipboard.h"
#include "system/ShortcutSource.h"
#include "system/TextInserter.h"
#include "system/TransformManager.h"
#include "system/X11FocusTracker.h"
#include "system/X11ShortcutGrabber.h"

namespace vesk {
namespace {

// The dictation key through the key source the session offers now. Without keyboard
// access there is nothing to watch; a later start (after access was granted) looks again.
class DesktopKeyMonitor final : public DictationKeyMonitor {
public:
    DesktopKeyMonitor(Hotkey key, std::shared_ptr<SyntheticKeyLedger> ledger) : key_(key), ledger_(std::move(ledger)) {}

    void setHandlers(Handlers handlers) override {
        handlers_ = std::move(handlers);
        if (monitor_) apply();
    }
    bool startMonitoring() override {
        if (monitor_ && monitor_->isMonitoring()) return true;
        std::unique_ptr<KeySource> source = makeKeySource(probeKeyboardAccess(), ledger_);
        if (!source) return false;
        monitor_ = std::make_unique<HotkeyMonitor>(key_, std::move(source));
        apply();
        return monitor_->startMonitoring();
    }
    void setHotkey(Hotkey key) override {
        key_ = key;
        if (monitor_) monitor_->hotkey = key;
    }

private:
    void apply() {
        monitor_->onStart = handlers_.onStart;
        monitor_->onStop = handlers_.onStop;
        monitor_->onCancel = handlers_.onCancel;
        monitor_->onHandsFreeChange = handlers_.onHandsFreeChange;
    }

    Hotkey key_;
    std::shared_ptr<SyntheticKeyLedger> ledger_;
    Handlers handlers_;
    std::unique_ptr<HotkeyMonitor> monitor_;
};

// The paste keys through the sender the session offers, looked for on first use and again
// for as long as there is none (access may be granted while the program runs).
class ProbingKeySender final : public KeySender {
public:
    explicit ProbingKeySender(std::shared_ptr<SyntheticKeyLedger> ledger) : ledger_(std::move(ledger)) {}
    bool send(const Chord& chord) override {
        KeySender* sender = current();
        return sender && sender->send(chord);
    }
    bool modifiersHeld() override {
        KeySender* sender = current();
        return sender && sender->modifiersHeld();
    }
    std::string name() const override { return sender_ ? sender_->name() : "none"; }

private:
    KeySender* current() {
        if (!sender_) sender_ = makeKeySender(probeKeyboardAccess(), ledger_);
        return sender_.get();
    }

    std::shared_ptr<SyntheticKeyLedger> ledger_;
    std::unique_ptr<KeySender> sender_;
};

bool isX11Session() {
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Alt+1 and Alt+2: grabbed on X11 (so the focused program never sees them), read from the
// keyboards elsewhere.
std::unique_ptr<ShortcutSource> selectionShortcuts(const std::shared_ptr<SyntheticKeyLedger>& ledger) {
    if (isX11Session()) return std::make_unique<X11ShortcutGrabber>();
    if (auto source = makeKeySource(probeKeyboardAccess(), ledger))
        return std::make_unique<KeySourceShortcuts>(std::move(source));
    return nullptr;
}

// The services that hold each other by reference live together, and every port shares
// ownership of the whole.
struct DesktopParts {
    std::shared_ptr<SyntheticKeyLedger> ledger = std::make_shared<SyntheticKeyLedger>();
    QtClipboard clipboard;
    X11FocusTracker focus;
    ProbingKeySender keySender{ledger};
    TextInserter inserter{clipboard, keySender, &focus};
};

// The selection transforms hold the engine, the paste path and the clipboard by
// reference: they keep them alive for as long as they run.
struct DesktopTransforms {
    DesktopTransforms(std::shared_ptr<DesktopParts> parts, std::shared_ptr<RewriteEngine> engine,
                      std::shared_ptr<SoundPlayer> sounds)
        : parts(std::move(parts)),
          engine(std::move(engine)),
          manager(*this->engine, this->parts->inserter, this->parts->clipboard, selectionShortcuts(this->parts->ledger),
                  [sounds = std::move(sounds)](std::string_view name) { sounds->play(name); }) {}

    std::shared_ptr<DesktopParts> parts;
    std::shared_ptr<RewriteEngine> engine;
    TransformManager manager;
};

}  // namespace

ControllerServices makeDesktopServices(const std::shared_ptr<ShellLink>& shell, const DesktopAudio& audio,
                                       std::function<void()> quit) {
    const std::shared_ptr<PulseConnection> pulse = PulseConnection::create();
    auto recorder = std::make_shared<AudioRecorder>(pulse);
    recorder->setBufferObserver(audio.recording);
    auto meter = std::make_shared<AmbientAudioMeter>(pulse);
    meter->setBufferObserver(audio.ambient);
    auto sounds = std::make_shared<SystemSounds>(pulse);
    auto rewriter = std::make_shared<RewriteEngine>();
    auto parts = std::make_shared<DesktopParts>();
    const ControllerSettings settings = SettingsPreferences().read();

    ControllerServices services;
    services.recorder = std::make_unique<RecorderAdapter>(recorder);
    services.makeRecognizer = transcriberFactory();
    services.rewriter = rewriter;
    services.history = std::make_unique<BackgroundHistoryStorage>(std::make_unique<HistoryStore>());
    services.clipboard = std::make_unique<ClipboardAdapter>(std::shared_ptr<Clipboard>(parts, &parts->clipboard));
    services.inserter = std::make_unique<InserterAdapter>(std::shared_ptr<TextInserting>(parts, &parts->inserter));
    services.focus = std::make_unique<FocusAdapter>(std::shared_ptr<FocusTracker>(parts, &parts->focus));
    services.sounds = std::make_unique<SoundAdapter>(sounds);
    services.hud = makeShellHud(shell);
    services.tray = makeShellTray(shell);
    services.keys = std::make_unique<DesktopKeyMonitor>(settings.hotkey, parts->ledger);
    services.ambientMeter = std::make_unique<AmbientMeterAdapter>(meter);
    services.microphone = std::make_unique<PulseMicrophoneAccess>();
    services.keyboard = std::make_unique<ProbedKeyboardTrust>();
    auto transforms = std::make_shared<DesktopTransforms>(parts, rewriter, sounds);
    services.transforms =
        std::make_unique<TransformManagerAdapter>(std::shared_ptr<TransformManager>(transforms, &transforms->manager));
    services.clock = std::make_unique<SystemClock>();
    services.settings = std::make_unique<SettingsPreferences>();
    services.surfaces = makeShellSurfaces(shell, std::move(quit));
    return services;
}

void connectFrames(AppDelegate& app, const DesktopAudio& audio) {
    const auto route = [hop = app.hop(), &app](const char* source) {
        return [hop, &app, source](float level, const WaveformFrame& frame) {
            hop->post([&app, level, frame, source] { app.updateAudioVisualFrame(level, frame, source); });
        };
    };
    audio.recording->setOnFrame(route("recording"));
    audio.ambient->setOnFrame(route("ambient"));
}

}  // namespace vesk

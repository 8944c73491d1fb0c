#include "app/Doctor.h"

#include "audio/AudioRecorder.h"
#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"
#include "speech/SpeechEngines.h"
#include "system/KeyboardAccess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

namespace vesk::Doctor {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

constexpr const char* kInputGroupFix = "sudo usermod -aG input \"$USER\", then log out and in again";
constexpr const char* kUinputFix =
    "echo 'KERNEL==\"uinput\", GROUP=\"input\", MODE=\"0660\", OPTIONS+=\"static_node=uinput\"' | sudo tee "
    "/etc/udev/rules.d/60-projectvesk-uinput.rules && sudo udevadm control --reload && sudo udevadm trigger";

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// Whether an XEmbed tray (the freedesktop system tray selection) is owned on the display.
bool xembedTrayRuns() {
    if (environment("DISPLAY").empty()) return false;
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) return false;
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display.get()));
    const Atom atom = XInternAtom(display.get(), selection.c_str(), False);
    return XGetSelectionOwner(display.get(), atom) != None;
}

bool statusNotifierHostRuns() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

DoctorCheck named(std::string name, bool required = true) {
    DoctorCheck check;
    check.name = std::move(name);
    check.required = required;
    return check;
}

}  // namespace

DoctorCheck desktopSession() {
    DoctorCheck check = named("desktop session");
    const std::string wayland = environment("WAYLAND_DISPLAY");
    const std::string x11 = environment("DISPLAY");
    if (!wayland.empty()) {
        check.ok = true;
        check.detail =
            "Wayland (" + wayland + ")" +
            (x11.empty() ? "; no XWayland, so the windows cannot open."
                         : ", windows through XWayland (" + x11 + "); the key needs evdev and the paste uinput.");
        if (x11.empty()) {
            check.ok = false;
            check.fix = "enable XWayland in your compositor";
        }
    } else if (!x11.empty()) {
        check.ok = true;
        check.detail = "X11 (" + x11 + ").";
    } else {
        check.detail = "No graphical session was found: neither WAYLAND_DISPLAY nor DISPLAY is set.";
        check.fix = "run ProjectVesk from a desktop session";
    }
    return check;
}

DoctorCheck keyboardAccess() {
    DoctorCheck check = named("keyboard access");
    const KeyboardAccess access = probeKeyboardAccess();
    check.ok = access.granted();
    if (check.ok) {
        check.detail =
            "the dictation key through " + access.keySource + ", the paste through " + access.keySender + ".";
        return check;
    }
    check.detail =
        access.reason.empty() ? "The dictation key cannot be observed or keys cannot be sent." : access.reason;
    if (access.keySource.empty()) check.fix = kInputGroupFix;
    if (access.keySender.empty()) check.fix += std::string(check.fix.empty() ? "" : "; for the paste: ") + kUinputFix;
    return check;
}

DoctorCheck microphone() {
    DoctorCheck check = named("sound server and microphone");
    check.ok = AudioRecorder::requestMicrophoneAccess();
    if (check.ok) {
        check.detail = "the sound server answers and its default microphone opens.";
    } else {
        check.detail = "No sound server answered, or it has no default microphone that opens.";
        check.fix = "systemctl --user start pipewire-pulse (or: pulseaudio --start), and choose a microphone";
    }
    return check;
}

DoctorCheck trayHost() {
    DoctorCheck check = named("tray", false);
    const bool notifier = statusNotifierHostRuns();
    const bool xembed = xembedTrayRuns();
    check.ok = notifier || xembed;
    if (check.ok) {
        check.detail = std::string("a tray host runs (") + (notifier ? "StatusNotifierItem" : "XEmbed") + ").";
    } else {
        check.detail = "No tray host runs; starting ProjectVesk again opens its console instead.";
        check.fix = "add a tray to your panel (GNOME: sudo apt install gnome-shell-extension-appindicator)";
    }
    return check;
}

DoctorCheck speechRecognition(const std::string& locale) {
    DoctorCheck check = named("speech recognition");
    const auto choice = engineChoice(Settings::string("speechEngine"));
    const std::string model = whisperModelName(locale, Settings::string("speechModel"));
    const std::filesystem::path modelFile = modelsDirectory() / whisperModelFileName(model);
    std::error_code error;
    const bool whisperReady = std::filesystem::is_regular_file(modelFile, error);
    const auto fallback = choice != EngineChoice::whisper ? makePocketSphinxEngine(locale) : nullptr;
    const bool fallbackReady = fallback && fallback->isModelInstalled();
    if (choice != EngineChoice::pocketsphinx && whisperReady) {
        check.ok = true;
        check.detail = "whisper with the model " + model + " for " + locale + ".";
    } else if (fallbackReady) {
        check.ok = true;
        check.detail = "PocketSphinx for " + locale + ".";
        if (choice != EngineChoice::pocketsphinx)
            check.detail += " The whisper model " + model + " is not downloaded yet; it is fetched on first use.";
    } else {
        check.detail = "No speech engine can recognize " + locale + " on this computer.";
        check.fix = choice == EngineChoice::whisper ? "connect to the internet once so the whisper model can download"
                                                    : "sudo apt install pocketsphinx-en-us";
    }
    return check;
}

DoctorCheck rewriting() {
    DoctorCheck check = named("rewriting", false);
    RewriteEngine engine;
    const auto configuration = RewriteConfiguration::fromSettings();
    if (const auto note = blockingWait(engine.checkAvailability())) {
        check.detail = *note + " Endpoint: " + configuration.endpoint + ".";
        check.fix =
            "install a local model server, e.g. Ollama, run `ollama pull llama3.2`, and set rewriteModel=llama3.2 "
            "in ~/.config/ProjectVesk/ProjectVesk.conf";
    } else {
        check.ok = true;
        check.detail = "the model " + configuration.model + " at " + configuration.endpoint + ".";
    }
    return check;
}

std::string line(const DoctorCheck& check) {
    std::string text = check.name + ": " + (check.ok ? "ok" : "missing") + " \u2014 " + check.detail;
    if (!check.ok && !check.fix.empty()) text += " Fix: " + check.fix;
    return text;
}

bool dictationCanWork(const std::vector<DoctorCheck>& checks) {
    return std::all_of(checks.begin(), checks.end(), [](const DoctorCheck& c) { return c.ok || !c.required; });
}

}  // namespace vesk::Doctor

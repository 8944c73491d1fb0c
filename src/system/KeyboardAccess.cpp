#include "system/KeyboardAccess.h"

#include "system/EvdevKeySource.h"
#include "system/UinputKeyboard.h"
#include "system/XInputKeySource.h"
#include "system/XTestKeySender.h"

#include <cstdlib>

namespace vesk {
namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool isWayland(const KeyboardPaths& paths) { return paths.wayland.value_or(isSet("WAYLAND_DISPLAY")); }

// XWayland sets DISPLAY too, but its keys are only those sent to X programs.
bool hasX11Display(const KeyboardPaths& paths) { return paths.useX11 && !isWayland(paths) && isSet("DISPLAY"); }

}  // namespace

KeyboardAccess probeKeyboardAccess(const KeyboardPaths& paths) {
    KeyboardAccess access;
    const int keyboards = EvdevKeySource::readableKeyboardCount(paths.inputDirectory);
    const bool x11 = hasX11Display(paths);
    if (keyboards > 0)
        access.keySource = "evdev";
    else if (x11 && XInputKeySource::available())
        access.keySource = "X11 XInput2";
    if (x11 && XTestKeySender::available())
        access.keySender = "XTest";
    else if (UinputKeyboard::available(paths.uinputNode))
        access.keySender = "uinput";

    if (access.keySource == "evdev")
        access.reason = "The dictation key is read from " + std::to_string(keyboards) + " keyboard" +
                        (keyboards == 1 ? "" : "s") + " under " + paths.inputDirectory.string() + ".";
    else if (!access.keySource.empty())
        access.reason = "The dictation key is read through the X server (XInput2); no keyboard under " +
                        paths.inputDirectory.string() + " is readable.";
    else if (isWayland(paths))
        access.reason = "On Wayland the dictation key is read from the keyboards under " +
                        paths.inputDirectory.string() +
                        ", and none is readable: add yourself to the input group "
                        "and log in again.";
    else
        access.reason = "No keyboard under " + paths.inputDirectory.string() +
                        " is readable and no X server is reachable: add yourself to the input group "
                        "and log in again.";
    if (access.keySender == "XTest")
        access.reason += " Paste keys are sent through the X server (XTest).";
    else if (access.keySender == "uinput")
        access.reason += " Paste keys are sent through a virtual keyboard.";
    else if (isWayland(paths))
        access.reason += " On Wayland paste keys are sent through a virtual keyboard, and " +
                         paths.uinputNode.string() + " is not writable: allow the input group to write it.";
    else
        access.reason += " Paste keys cannot be sent: " + paths.uinputNode.string() +
                         " is not writable and no X server is reachable.";
    return access;
}

std::unique_ptr<KeySource> makeKeySource(const KeyboardAccess& access, std::shared_ptr<SyntheticKeyLedger> ledger,
                                         const KeyboardPaths& paths) {
    if (access.keySource == "evdev") return std::make_unique<EvdevKeySource>(paths.inputDirectory);
    if (access.keySource == "X11 XInput2") return std::make_unique<XInputKeySource>(std::move(ledger));
    return nullptr;
}

std::unique_ptr<KeySender> makeKeySender(const KeyboardAccess& access, std::shared_ptr<SyntheticKeyLedger> ledger,
                                         const KeyboardPaths& paths) {
    if (access.keySender == "XTest") return std::make_unique<XTestKeySender>(std::move(ledger));
    if (access.keySender == "uinput") return std::make_unique<UinputKeyboard>(paths.uinputNode, paths.inputDirectory);
    return nullptr;
}

}  // namespace vesk

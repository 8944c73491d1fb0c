#pragma once

#include "system/KeySender.h"
#include "system/KeySource.h"
#include "system/SyntheticKeyLedger.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vesk {

// "Keyboard access": whether the dictation key can be observed system-wide and
// synthetic keys can be sent, through which services, and why.
struct KeyboardAccess {
    std::string keySource;  // "evdev", "X11 XInput2", or empty
    std::string keySender;  // "XTest", "uinput", or empty
    std::string reason;     // a sentence for the console's permission row

    bool granted() const { return !keySource.empty() && !keySender.empty(); }
};

// Where the host services are; the defaults are the real ones.
struct KeyboardPaths {
    std::filesystem::path inputDirectory = "/dev/input";
    std::filesystem::path uinputNode = "/dev/uinput";
    bool useX11 = true;  // false: behave as on a desktop without an X server
    // Whether this is a Wayland session; unset: WAYLAND_DISPLAY says. On Wayland the X
    // server (XWayland) only sees and reaches X programs, so it is never used for keys.
    std::optional<bool> wayland;
};

// Looks at what this process can reach now. Readable keyboards under /dev/input come
// first (they work on every desktop), then XInput2 on X11; XTest sends keys on X11, a
// uinput keyboard elsewhere. On Wayland only evdev and uinput count, and the reason
// names what is missing.
KeyboardAccess probeKeyboardAccess(const KeyboardPaths& paths = {});

// The key source and key sender the probe chose; either may be empty.
std::unique_ptr<KeySource> makeKeySource(const KeyboardAccess& access, std::shared_ptr<SyntheticKeyLedger> ledger,
                                         const KeyboardPaths& paths = {});
std::unique_ptr<KeySender> makeKeySender(const KeyboardAccess& access, std::shared_ptr<SyntheticKeyLedger> ledger,
                                         const KeyboardPaths& paths = {});

}  // namespace vesk

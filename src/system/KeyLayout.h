#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace vesk {

// The names of an XKB keyboard layout (rules, model, layout, variant, options); empty
// fields take libxkbcommon's defaults.
struct LayoutNames {
    std::string rules;
    std::string model;
    std::string layout;
    std::string variant;
    std::string options;
    bool operator==(const LayoutNames&) const = default;
};

// The layout this session types with, where a process without a display can learn it:
// the XKB_DEFAULT_* variables first, then the system's keyboard file (Debian's
// /etc/default/keyboard with XKBLAYOUT, XKBVARIANT, ...). Fields found nowhere stay empty.
LayoutNames sessionLayoutNames(const std::filesystem::path& keyboardFile = "/etc/default/keyboard");

// Which physical key types each Latin letter under one layout, as kernel key codes, so
// a virtual keyboard presses the key that gives "v" under Dvorak too. Plain value;
// built once, read from any thread.
class KeyLayout {
public:
    // Nothing when libxkbcommon cannot compile a keymap from these names.
    static std::optional<KeyLayout> compile(const LayoutNames& names);
    // The US QWERTY positions, for when no layout can be compiled.
    static KeyLayout qwerty();

    // The key that types `letter` ('a' to 'z') without Shift on the first group, or
    // nothing when no key of the layout types it.
    std::optional<int> keyFor(char letter) const;

private:
    // Kernel key code per letter; 0 where the layout has none.
    std::array<int, 26> keys_{};
};

}  // namespace vesk

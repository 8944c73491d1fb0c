#pragma once

#include <string_view>

namespace vesk {

// The dictation key. `fn` is the kernel's KEY_FN where a keyboard reports it,
// `rightOption` is Right Alt / AltGr, `rightControl` (the Linux default) is Right Ctrl.
enum class Hotkey { fn, rightOption, rightControl };

inline std::string_view storedValue(Hotkey key) {
    switch (key) {
        case Hotkey::fn: return "fn";
        case Hotkey::rightOption: return "rightOption";
        case Hotkey::rightControl: return "rightControl";
    }
    return "rightControl";
}

// Exactly "fn" or "rightOption" choose those keys; anything else, a missing value
// included, is Right Ctrl.
inline Hotkey hotkeyFromStoredValue(std::string_view value) {
    if (value == "fn") return Hotkey::fn;
    if (value == "rightOption") return Hotkey::rightOption;
    return Hotkey::rightControl;
}

inline std::string_view displayName(Hotkey key) {
    switch (key) {
        case Hotkey::fn: return "fn (Globe)";
        case Hotkey::rightOption: return "Right Alt (AltGr)";
        case Hotkey::rightControl: return "Right Ctrl";
    }
    return "Right Ctrl";
}

}  // namespace vesk

#pragma once

#include <string>

namespace vesk {

// A key combination to synthesize: one letter key with the modifiers held around it.
struct Chord {
    char letter = 'v';  // a Latin letter, 'a' to 'z'
    bool control = false;
    bool shift = false;
    bool alt = false;
};

// Synthetic key presses into whatever window has keyboard focus.
class KeySender {
public:
    virtual ~KeySender() = default;
    // Presses the modifiers, taps the letter, releases the modifiers. False when the
    // keys could not be sent.
    virtual bool send(const Chord& chord) = 0;
    // Whether the person is holding any modifier key right now; a synthetic Ctrl+C sent
    // while Alt is still down arrives as Alt+Ctrl+C.
    virtual bool modifiersHeld() = 0;
    virtual std::string name() const = 0;
};

}  // namespace vesk

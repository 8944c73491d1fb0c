#pragma once

#include <functional>
#include <string>

namespace vesk {

// One report of a physical key going down or up. Codes are the kernel's key codes
// (linux/input-event-codes.h), whatever the source: X11 key codes are these plus 8.
struct KeyEvent {
    int code = 0;
    bool pressed = false;
    bool operator==(const KeyEvent&) const = default;
};

// A system-wide observer of key presses. Sources only observe: the key still reaches
// the focused application. Events are delivered on the main thread, in order.
class KeySource {
public:
    using Handler = std::function<void(const KeyEvent&)>;

    virtual ~KeySource() = default;

    // Starts delivering events to `handler`; false when the source cannot observe keys.
    virtual bool start(Handler handler) = 0;
    virtual void stop() = 0;
    // A short name for the console's keyboard-access row ("evdev", "X11 XInput2").
    virtual std::string name() const = 0;
};

}  // namespace vesk

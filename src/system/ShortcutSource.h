#pragma once

#include "system/KeySource.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace vesk {

// System-wide Alt+digit shortcuts (the selection transforms). The handler gets the
// kernel key code of the digit key pressed with Alt alone held; lock keys do not matter.
class ShortcutSource {
public:
    using Handler = std::function<void(int keyCode)>;
    virtual ~ShortcutSource() = default;
    // Watches for Alt + each of `keyCodes`; false when it cannot.
    virtual bool start(std::set<int> keyCodes, Handler handler) = 0;
    virtual void stop() = 0;
};

// Recognizes Alt+key in a stream of key reports, for sources that cannot grab (evdev):
// the key must go down while Alt, and no other modifier, is held.
class ShortcutMatcher {
public:
    explicit ShortcutMatcher(std::set<int> keyCodes) : keyCodes_(std::move(keyCodes)) {}
    // The key code when this report completes a shortcut, otherwise 0.
    int feed(const KeyEvent& event);

private:
    std::set<int> keyCodes_;
    std::set<int> heldModifiers_;
};

// Shortcuts read from a key source (evdev on desktops without X11). The focused
// application also receives the keys there: nothing can grab them.
class KeySourceShortcuts : public ShortcutSource {
public:
    explicit KeySourceShortcuts(std::unique_ptr<KeySource> source) : source_(std::move(source)) {}
    bool start(std::set<int> keyCodes, Handler handler) override;
    void stop() override;

private:
    std::unique_ptr<KeySource> source_;
};

}  // namespace vesk

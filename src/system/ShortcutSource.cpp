#include "system/ShortcutSource.h"

#include <linux/input-event-codes.h>

#include <memory>

namespace vesk {
namespace {

bool isModifier(int code) {
    switch (code) {
        case KEY_LEFTALT:
        case KEY_RIGHTALT:
        case KEY_LEFTCTRL:
        case KEY_RIGHTCTRL:
        case KEY_LEFTSHIFT:
        case KEY_RIGHTSHIFT:
        case KEY_LEFTMETA:
        case KEY_RIGHTMETA: return true;
        default: return false;
    }
}

}  // namespace

int ShortcutMatcher::feed(const KeyEvent& event) {
    if (isModifier(event.code)) {
        if (event.pressed)
            heldModifiers_.insert(event.code);
        else
            heldModifiers_.erase(event.code);
        return 0;
    }
    if (!event.pressed || !keyCodes_.contains(event.code)) return 0;
    // Alt alone: Left Alt only, since Right Alt is AltGr (a different character level).
    return heldModifiers_ == std::set<int>{KEY_LEFTALT} ? event.code : 0;
}

bool KeySourceShortcuts::start(std::set<int> keyCodes, Handler handler) {
    stop();
    if (!source_) return false;
    auto matcher = std::make_shared<ShortcutMatcher>(std::move(keyCodes));
    return source_->start([matcher, handler = std::move(handler)](const KeyEvent& event) {
        if (const int code = matcher->feed(event); code != 0 && handler) handler(code);
    });
}

void KeySourceShortcuts::stop() {
    if (source_) source_->stop();
}

}  // namespace vesk

#pragma once

#include "system/KeySource.h"

#include <set>
#include <vector>

namespace vesk {

// One kernel input event as read from a device node (type, code, value).
struct InputEvent {
    int type = 0;
    int code = 0;
    int value = 0;
};

// Turns one keyboard's kernel events into key presses and releases. Auto-repeat
// (value 2) is dropped; a report that would not change what is held is dropped. After
// SYN_DROPPED the kernel's queue overflowed: everything up to the next SYN_REPORT is
// unreliable and ignored, and resynchronize() then reconciles with the device's real
// key state. When the device goes away every key it held is released.
class EvdevKeyDecoder {
public:
    std::vector<KeyEvent> feed(const InputEvent& event);

    // True between SYN_DROPPED and the resynchronization that follows it.
    bool needsResync() const { return needsResync_; }
    // The keys the device reports as down right now (EVIOCGKEY); returns the presses and
    // releases missed while events were dropped.
    std::vector<KeyEvent> resynchronize(const std::set<int>& pressedNow);
    // The device was unplugged or failed: release everything it held.
    std::vector<KeyEvent> deviceRemoved();

    const std::set<int>& held() const { return held_; }

private:
    std::set<int> held_;
    bool dropping_ = false;
    bool needsResync_ = false;
};

}  // namespace vesk

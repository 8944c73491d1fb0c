#include "system/HotkeyMonitor.h"

#include <linux/input-event-codes.h>

namespace vesk {

int keyCode(Hotkey key) {
    switch (key) {
        case Hotkey::fn: return KEY_FN;
        case Hotkey::rightOption: return KEY_RIGHTALT;
        case Hotkey::rightControl: return KEY_RIGHTCTRL;
    }
    return KEY_RIGHTCTRL;
}

HotkeyMonitor::HotkeyMonitor(Hotkey key, std::unique_ptr<KeySource> source, Clock clock)
    : hotkey(key), source_(std::move(source)), clock_(std::move(clock)) {
    // Durations are measured on a monotonic clock so that a wall-clock adjustment in the
    // middle of a press cannot turn a hold into a tap.
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

HotkeyMonitor::~HotkeyMonitor() { stopMonitoring(); }

bool HotkeyMonitor::startMonitoring() {
    stopMonitoring();
    if (!source_) return false;
    monitoring_ = source_->start([this](const KeyEvent& event) { handle(event); });
    return monitoring_;
}

void HotkeyMonitor::stopMonitoring() {
    if (source_ && monitoring_) source_->stop();
    monitoring_ = false;
}

void HotkeyMonitor::handle(const KeyEvent& event) {
    const int watched = keyCode(hotkey);
    if (heldCode_) {
        if (event.code == *heldCode_ && !event.pressed) {
            heldCode_.reset();
            keyUp();
            return;
        }
        // The key was changed while the old one was held, and now the new one goes down:
        // the old press is over (its release may never be seen), this one begins.
        if (event.code == watched && event.pressed && *heldCode_ != watched) {
            heldCode_.reset();
            keyUp();
        }
    }
    // Repeated press or release reports change nothing.
    if (event.code != watched || !event.pressed || heldCode_) return;
    heldCode_ = watched;
    keyDown();
}

void HotkeyMonitor::keyDown() {
    if (isHandsFree_) {
        // This press ends hands-free recording and is consumed; its release does nothing.
        isHandsFree_ = false;
        if (onHandsFreeChange) onHandsFreeChange(false);
        if (onStop) onStop();
        pressStartedAt_.reset();
        lastTapEndedAt_.reset();
        return;
    }
    pressStartedAt_ = clock_();
    if (onStart) onStart();
}

void HotkeyMonitor::keyUp() {
    if (!pressStartedAt_) return;
    const auto now = clock_();
    const auto duration = now - *pressStartedAt_;
    pressStartedAt_.reset();
    if (duration >= tapThreshold) {
        lastTapEndedAt_.reset();
        if (onStop) onStop();
        return;
    }
    if (lastTapEndedAt_ && now - *lastTapEndedAt_ <= doubleTapWindow) {
        lastTapEndedAt_.reset();
        isHandsFree_ = true;
        if (onHandsFreeChange) onHandsFreeChange(true);
        return;
    }
    lastTapEndedAt_ = now;
    if (onCancel) onCancel();
}

}  // namespace vesk

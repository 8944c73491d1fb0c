#pragma once

#include "core/Hotkey.h"
#include "system/KeySource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

// The kernel key code of each dictation key.
int keyCode(Hotkey key);

// Turns presses of the dictation key into start, stop, cancel and hands-free intents:
// holding is push-to-talk, a quick double tap latches hands-free recording (the next
// press ends it), a single quick tap cancels. Plain C++ on an injectable clock; events
// come from a KeySource (or straight into handle()) on the main thread.
class HotkeyMonitor {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Compared in whole clock ticks, so the edges (exactly 0.35 s, exactly 0.5 s) are exact.
    static constexpr std::chrono::milliseconds tapThreshold{350};
    static constexpr std::chrono::milliseconds doubleTapWindow{500};

    explicit HotkeyMonitor(Hotkey hotkey, std::unique_ptr<KeySource> source = nullptr, Clock clock = {});
    ~HotkeyMonitor();
    HotkeyMonitor(const HotkeyMonitor&) = delete;
    HotkeyMonitor& operator=(const HotkeyMonitor&) = delete;

    // The watched key; read on every event, so a change applies from the next one. A
    // press that began before a change still ends with that key's release (or, if that
    // release is never seen, with the next press of the new key).
    Hotkey hotkey;
    std::function<void()> onStart;
    std::function<void()> onStop;
    std::function<void()> onCancel;
    std::function<void(bool)> onHandsFreeChange;

    // Restarts observation through the key source; false when it cannot observe keys.
    bool startMonitoring();
    void stopMonitoring();
    bool isMonitoring() const { return monitoring_; }

    // One key report, as the source delivers it.
    void handle(const KeyEvent& event);

    bool isHandsFree() const { return isHandsFree_; }
    bool keyIsDown() const { return heldCode_.has_value(); }
    const KeySource* source() const { return source_.get(); }

private:
    void keyDown();
    void keyUp();

    std::unique_ptr<KeySource> source_;
    Clock clock_;
    bool monitoring_ = false;
    bool isHandsFree_ = false;
    // The code of the dictation key being held, as it was when the press began.
    std::optional<int> heldCode_;
    std::optional<std::chrono::steady_clock::time_point> pressStartedAt_;
    std::optional<std::chrono::steady_clock::time_point> lastTapEndedAt_;
};

}  // namespace vesk

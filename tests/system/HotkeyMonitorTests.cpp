#include "system/HotkeyMonitor.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

// A monitor on Right Ctrl, driven by hand against a clock the test moves.
struct Gestures {
    Gestures() {
        monitor.onStart = [this] { calls.push_back("start"); };
        monitor.onStop = [this] { calls.push_back("stop"); };
        monitor.onCancel = [this] { calls.push_back("cancel"); };
        monitor.onHandsFreeChange = [this](bool on) { calls.push_back(on ? "handsFree:on" : "handsFree:off"); };
    }
    void press(int code = KEY_RIGHTCTRL) { monitor.handle({code, true}); }
    void release(int code = KEY_RIGHTCTRL) { monitor.handle({code, false}); }

    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
    HotkeyMonitor monitor{Hotkey::rightControl, nullptr, [this] { return now; }};
    Calls calls;
};

// One press of the key: `gap` after the previous release, held for `held`.
struct Tap {
    std::chrono::nanoseconds gap;
    std::chrono::nanoseconds held;
};

TEST(HotkeyGestures, TapSequencesOnTheFakeClock) {
    struct Row {
        const char* name;
        std::vector<Tap> taps;
        Calls expected;
        bool handsFree;
    };
    const std::vector<Row> rows = {
        {"hold of exactly the threshold", {{0s, 350ms}}, {"start", "stop"}, false},
        {"just under the threshold is a tap", {{0s, 349ms}}, {"start", "cancel"}, false},
        // The second release comes exactly 0.5 s after the first.
        {"double tap at the window edge",
         {{0s, 100ms}, {300ms, 200ms}},
         {"start", "cancel", "start", "handsFree:on"},
         true},
        {"just past the window", {{0s, 100ms}, {300ms, 200ms + 1ns}}, {"start", "cancel", "start", "cancel"}, false},
        // The third press ends hands-free recording and is consumed: its late release does nothing.
        {"three quick taps",
         {{0s, 100ms}, {100ms, 100ms}, {100ms, 1s}},
         {"start", "cancel", "start", "handsFree:on", "handsFree:off", "stop"},
         false},
        {"after hands-free ends the remembered tap is gone",
         {{0s, 100ms}, {100ms, 100ms}, {2s, 0s}, {100ms, 100ms}},
         {"start", "cancel", "start", "handsFree:on", "handsFree:off", "stop", "start", "cancel"},
         false},
        {"a hold clears the remembered tap",
         {{0s, 100ms}, {50ms, 400ms}, {50ms, 100ms}},
         {"start", "cancel", "start", "stop", "start", "cancel"},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Gestures g;
        for (const Tap& tap : row.taps) {
            g.now += tap.gap;
            g.press();
            g.now += tap.held;
            g.release();
        }
        EXPECT_EQ(g.calls, row.expected);
        EXPECT_EQ(g.monitor.isHandsFree(), row.handsFree);
    }
}

TEST(HotkeyGestures, OtherKeysRepeatsAndUnmatchedReleasesChangeNothing) {
    Gestures g;
    g.release();  // never seen going down
    g.press();
    g.press(KEY_LEFTSHIFT);  // another modifier changing while the key is held
    g.release(KEY_LEFTSHIFT);
    g.press(KEY_RIGHTALT);
    g.press();  // repeated report of the held key
    g.now += 500ms;
    g.release(KEY_RIGHTALT);
    EXPECT_EQ(g.calls, (Calls{"start"}));
    EXPECT_TRUE(g.monitor.keyIsDown());
    g.release();
    g.release();  // repeated release report
    EXPECT_EQ(g.calls, (Calls{"start", "stop"}));

    Gestures alt;
    alt.monitor.hotkey = Hotkey::rightOption;
    alt.press(KEY_LEFTALT);
    alt.release(KEY_LEFTALT);
    EXPECT_TRUE(alt.calls.empty()) << "Left Alt is not Right Alt";
}

TEST(HotkeyGestures, AKeyChangedWhileTheOldOneIsHeld) {
    using Step = std::function<void(Gestures&)>;
    const auto down = [](int code) -> Step { return [code](Gestures& g) { g.press(code); }; };
    const auto up = [](int code) -> Step { return [code](Gestures& g) { g.release(code); }; };
    const auto change = [](Hotkey key) -> Step { return [key](Gestures& g) { g.monitor.hotkey = key; }; };
    const Step wait = [](Gestures& g) { g.now += 400ms; };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        Calls expected;
        bool keyIsDown;
    };
    const std::vector<Row> rows = {
        {"the old key's release ends its hold, then the new key starts",
         {down(KEY_RIGHTALT), change(Hotkey::fn), wait, up(KEY_RIGHTALT), down(KEY_FN)},
         {"start", "stop", "start"},
         true},
        {"the old key's quick release is a tap, then the new key holds",
         {down(KEY_RIGHTALT), change(Hotkey::fn), up(KEY_RIGHTALT), down(KEY_FN), wait, up(KEY_FN)},
         {"start", "cancel", "start", "stop"},
         false},
        {"an old release never seen ends with the new key's press",
         {down(KEY_RIGHTALT), change(Hotkey::fn), wait, down(KEY_FN), up(KEY_RIGHTALT), up(KEY_FN)},
         {"start", "stop", "start", "cancel"},
         false},
        {"the old key pressed after the change is another key",
         {change(Hotkey::fn), down(KEY_RIGHTALT), wait, up(KEY_RIGHTALT)},
         {},
         false},
        {"changed and changed back while held",
         {down(KEY_RIGHTALT), change(Hotkey::fn), change(Hotkey::rightOption), wait, up(KEY_RIGHTALT)},
         {"start", "stop"},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Gestures g;
        g.monitor.hotkey = Hotkey::rightOption;
        for (const Step& step : row.steps) step(g);
        EXPECT_EQ(g.calls, row.expected);
        EXPECT_EQ(g.monitor.keyIsDown(), row.keyIsDown);
    }
}

TEST(HotkeyGestures, MissingCallbacksAreSkipped) {
    Gestures g;
    HotkeyMonitor bare(Hotkey::fn, nullptr, [&] { return g.now; });
    for (const bool down : {true, false, true, false}) {
        bare.handle({KEY_FN, down});
        g.now += 50ms;
    }
    EXPECT_TRUE(bare.isHandsFree());
}

}  // namespace
}  // namespace vesk

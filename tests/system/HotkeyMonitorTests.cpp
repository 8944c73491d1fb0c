#include "system/HotkeyMonitor.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <chrono>
#include <string>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;

// A clock the test moves by hand.
struct FakeClock {
    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
    HotkeyMonitor::Clock function() {
        return [this] { return now; };
    }
};

class HotkeyGestures : public ::testing::Test {
protected:
    HotkeyGestures() : monitor(Hotkey::rightControl, nullptr, clock.function()) {
        monitor.onStart = [this] { calls.push_back("start"); };
        monitor.onStop = [this] { calls.push_back("stop"); };
        monitor.onCancel = [this] { calls.push_back("cancel"); };
        monitor.onHandsFreeChange = [this](bool on) { calls.push_back(on ? "handsFree:on" : "handsFree:off"); };
    }

    void press(int code = KEY_RIGHTCTRL) { monitor.handle({code, true}); }
    void release(int code = KEY_RIGHTCTRL) { monitor.handle({code, false}); }
    void tap(std::chrono::nanoseconds held = 100ms) {
        press();
        clock.now += held;
        release();
    }

    FakeClock clock;
    HotkeyMonitor monitor;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST_F(HotkeyGestures, HoldOfExactlyTheThresholdIsAHoldAndJustUnderIsATap) {
    tap(350ms);
    EXPECT_EQ(calls, (Calls{"start", "stop"}));
    calls.clear();
    clock.now += 5s;
    tap(349ms);
    EXPECT_EQ(calls, (Calls{"start", "cancel"}));
}

TEST_F(HotkeyGestures, SecondTapReleasedExactlyAtTheWindowLatchesHandsFree) {
    tap(100ms);
    clock.now += 300ms;
    tap(200ms);  // released exactly 0.5 s after the first release
    EXPECT_EQ(calls, (Calls{"start", "cancel", "start", "handsFree:on"}));
    EXPECT_TRUE(monitor.isHandsFree());
}

TEST_F(HotkeyGestures, SecondTapJustPastTheWindowIsAnotherSingleTap) {
    tap(100ms);
    clock.now += 300ms;
    tap(200ms + 1ns);
    EXPECT_EQ(calls, (Calls{"start", "cancel", "start", "cancel"}));
    EXPECT_FALSE(monitor.isHandsFree());
}

TEST_F(HotkeyGestures, ThreeQuickTapsCancelThenLatchThenStop) {
    tap();
    clock.now += 100ms;
    tap();
    clock.now += 100ms;
    press();
    EXPECT_EQ(calls, (Calls{"start", "cancel", "start", "handsFree:on", "handsFree:off", "stop"}));
    EXPECT_FALSE(monitor.isHandsFree());
    // The press that ended hands-free recording is consumed: its release does nothing.
    clock.now += 1s;
    release();
    EXPECT_EQ(calls.size(), 6u);
}

TEST_F(HotkeyGestures, AfterHandsFreeEndsTheRememberedTapIsGone) {
    tap();
    clock.now += 100ms;
    tap();
    clock.now += 2s;
    press();
    release();
    calls.clear();
    clock.now += 100ms;
    tap();
    EXPECT_EQ(calls, (Calls{"start", "cancel"}));
}

TEST_F(HotkeyGestures, HoldClearsTheRememberedTap) {
    tap();
    clock.now += 50ms;
    tap(400ms);
    clock.now += 50ms;
    tap();
    EXPECT_EQ(calls, (Calls{"start", "cancel", "start", "stop", "start", "cancel"}));
    EXPECT_FALSE(monitor.isHandsFree());
}

TEST_F(HotkeyGestures, OtherKeysAndRepeatedReportsChangeNothing) {
    press();
    press(KEY_LEFTSHIFT);  // another modifier changing while the key is held
    release(KEY_LEFTSHIFT);
    press(KEY_RIGHTALT);
    press();  // repeated report of the held key
    clock.now += 500ms;
    release(KEY_RIGHTALT);
    EXPECT_EQ(calls, (Calls{"start"}));
    EXPECT_TRUE(monitor.keyIsDown());
    release();
    release();  // repeated release report
    EXPECT_EQ(calls, (Calls{"start", "stop"}));
}

TEST_F(HotkeyGestures, LeftAltIsNotRightAlt) {
    monitor.hotkey = Hotkey::rightOption;
    press(KEY_LEFTALT);
    release(KEY_LEFTALT);
    EXPECT_TRUE(calls.empty());
    press(KEY_RIGHTALT);
    EXPECT_EQ(calls, (Calls{"start"}));
}

TEST_F(HotkeyGestures, ReleaseWithoutAnObservedPressDoesNothing) {
    release();
    EXPECT_TRUE(calls.empty());
    // A hotkey change while the key is down: the old key's release is another key now.
    press();
    monitor.hotkey = Hotkey::fn;
    release();
    EXPECT_EQ(calls, (Calls{"start"}));
    press(KEY_FN);  // still "down" as seen by the monitor, so no second start
    EXPECT_EQ(calls, (Calls{"start"}));
}

TEST_F(HotkeyGestures, MissingCallbacksAreSkipped) {
    HotkeyMonitor bare(Hotkey::fn, nullptr, clock.function());
    bare.handle({KEY_FN, true});
    clock.now += 100ms;
    bare.handle({KEY_FN, false});
    bare.handle({KEY_FN, true});
    clock.now += 100ms;
    bare.handle({KEY_FN, false});
    EXPECT_TRUE(bare.isHandsFree());
}

// A key source the test drives by hand.
class ScriptedKeySource : public KeySource {
public:
    bool start(Handler handler) override {
        handler_ = std::move(handler);
        ++starts;
        return accept;
    }
    void stop() override {
        handler_ = nullptr;
        ++stops;
    }
    std::string name() const override { return "scripted"; }
    void deliver(KeyEvent event) {
        if (handler_) handler_(event);
    }
    bool accept = true;
    int starts = 0;
    int stops = 0;

private:
    Handler handler_;
};

TEST(HotkeyMonitoring, EventsFlowOnlyWhileMonitoring) {
    auto owned = std::make_unique<ScriptedKeySource>();
    ScriptedKeySource& source = *owned;
    HotkeyMonitor monitor(Hotkey::rightControl, std::move(owned));
    int starts = 0;
    monitor.onStart = [&] { ++starts; };
    EXPECT_TRUE(monitor.startMonitoring());
    EXPECT_TRUE(monitor.startMonitoring());  // restarting stops the old registration first
    EXPECT_EQ(source.stops, 1);
    source.deliver({KEY_RIGHTCTRL, true});
    EXPECT_EQ(starts, 1);
    monitor.stopMonitoring();
    source.deliver({KEY_RIGHTCTRL, false});
    source.deliver({KEY_RIGHTCTRL, true});
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(monitor.isMonitoring());
}

TEST(HotkeyMonitoring, RefusedSourceReportsNotMonitoring) {
    auto owned = std::make_unique<ScriptedKeySource>();
    owned->accept = false;
    HotkeyMonitor monitor(Hotkey::rightControl, std::move(owned));
    EXPECT_FALSE(monitor.startMonitoring());
    EXPECT_FALSE(monitor.isMonitoring());
    HotkeyMonitor sourceless(Hotkey::rightControl);
    EXPECT_FALSE(sourceless.startMonitoring());
}

}  // namespace
}  // namespace vesk

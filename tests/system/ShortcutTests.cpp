#include "system/DesktopFixture.h"
#include "system/ShortcutSource.h"
#include "system/X11ShortcutGrabber.h"

#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

TEST(ShortcutMatcher, AltAloneWithADigitMatches) {
    ShortcutMatcher matcher({KEY_1, KEY_2});
    EXPECT_EQ(matcher.feed({KEY_LEFTALT, true}), 0);
    EXPECT_EQ(matcher.feed({KEY_1, true}), KEY_1);
    EXPECT_EQ(matcher.feed({KEY_1, false}), 0);
    EXPECT_EQ(matcher.feed({KEY_2, true}), KEY_2);
    EXPECT_EQ(matcher.feed({KEY_LEFTALT, false}), 0);
    EXPECT_EQ(matcher.feed({KEY_1, true}), 0);  // no Alt any more
}

TEST(ShortcutMatcher, AnotherModifierOrDigitOrAltGrDoesNothing) {
    for (const int other : {KEY_LEFTSHIFT, KEY_RIGHTCTRL, KEY_LEFTMETA}) {
        ShortcutMatcher matcher({KEY_1, KEY_2});
        matcher.feed({KEY_LEFTALT, true});
        matcher.feed({other, true});
        EXPECT_EQ(matcher.feed({KEY_1, true}), 0) << other;
        matcher.feed({other, false});
        EXPECT_EQ(matcher.feed({KEY_1, true}), KEY_1) << "after letting go of " << other;
    }
    ShortcutMatcher matcher({KEY_1, KEY_2});
    matcher.feed({KEY_LEFTALT, true});
    EXPECT_EQ(matcher.feed({KEY_3, true}), 0);
    ShortcutMatcher altGr({KEY_1});
    altGr.feed({KEY_RIGHTALT, true});
    EXPECT_EQ(altGr.feed({KEY_1, true}), 0);
}

class ShortcutsOnX11 : public DesktopTest {
protected:
    void press(const std::string& combination) {
        ASSERT_EQ(runProcess("xdotool", {"key", "--clearmodifiers", combination}, 10).exitCode, 0);
    }
    static bool saw(const TargetWindow& target, const std::string& keys) {
        const auto& seen = target.keysSeen();
        return std::find(seen.begin(), seen.end(), keys) != seen.end();
    }
};

TEST_F(ShortcutsOnX11, AltDigitIsTakenAwayFromTheFocusedApplication) {
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    X11ShortcutGrabber grabber;
    std::vector<int> fired;
    ASSERT_TRUE(grabber.start({KEY_1, KEY_2}, [&](int code) { fired.push_back(code); }));
    press("alt+1");
    press("alt+2");
    ASSERT_TRUE(spinUntil([&] { return fired.size() == 2; }));
    EXPECT_EQ(fired, (std::vector<int>{KEY_1, KEY_2}));
    press("x");
    ASSERT_TRUE(spinUntil([&] { return saw(target, "X"); })) << ::testing::PrintToString(target.keysSeen());
    EXPECT_FALSE(saw(target, "Alt+1"));
    EXPECT_FALSE(saw(target, "Alt+2"));
}

TEST_F(ShortcutsOnX11, OtherModifiersOrDigitsReachTheApplicationInstead) {
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    X11ShortcutGrabber grabber;
    std::vector<int> fired;
    ASSERT_TRUE(grabber.start({KEY_1, KEY_2}, [&](int code) { fired.push_back(code); }));
    press("alt+shift+1");
    press("ctrl+alt+1");
    press("super+alt+1");
    press("alt+3");
    ASSERT_TRUE(spinUntil([&] { return saw(target, "Alt+3"); }));
    EXPECT_TRUE(saw(target, "Ctrl+Alt+1"));
    EXPECT_TRUE(fired.empty());
}

TEST_F(ShortcutsOnX11, LockKeysDoNotMatter) {
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    X11ShortcutGrabber grabber;
    std::vector<int> fired;
    ASSERT_TRUE(grabber.start({KEY_1, KEY_2}, [&](int code) { fired.push_back(code); }));
    ASSERT_EQ(runProcess("xdotool", {"key", "Caps_Lock"}, 10).exitCode, 0);
    press("alt+1");
    ASSERT_EQ(runProcess("xdotool", {"key", "Num_Lock"}, 10).exitCode, 0);
    press("alt+2");
    ASSERT_EQ(runProcess("xdotool", {"key", "Caps_Lock"}, 10).exitCode, 0);
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return fired.size() == 3; }));
    EXPECT_EQ(fired, (std::vector<int>{KEY_1, KEY_2, KEY_1}));
}

TEST_F(ShortcutsOnX11, NothingHappensWhileOurOwnWindowHasFocus) {
    QWidget own;
    own.setWindowTitle("Vesk console");
    own.resize(200, 100);
    own.show();
    own.activateWindow();
    ASSERT_TRUE(spinUntil([&] { return own.isActiveWindow(); }));
    X11ShortcutGrabber grabber;
    int fired = 0;
    ASSERT_TRUE(grabber.start({KEY_1}, [&](int) { ++fired; }));
    press("alt+1");
    spinFor(200ms);
    EXPECT_EQ(fired, 0);

    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    press("alt+1");
    EXPECT_TRUE(spinUntil([&] { return fired == 1; }));
}

TEST_F(ShortcutsOnX11, StoppingGivesTheKeysBack) {
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    X11ShortcutGrabber grabber;
    int fired = 0;
    ASSERT_TRUE(grabber.start({KEY_1}, [&](int) { ++fired; }));
    grabber.stop();
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return saw(target, "Alt+1"); }));
    EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace vesk::test

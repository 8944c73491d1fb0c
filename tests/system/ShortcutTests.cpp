#include "system/DesktopFixture.h"
#include "system/ShortcutSource.h"
#include "system/X11ShortcutGrabber.h"

#include "core/Settings.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <set>
#include <tuple>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

// What the matcher fires for each stream of key reports.
TEST(ShortcutMatcher, AltAloneWithAWatchedDigitFires) {
    using Reports = std::vector<KeyEvent>;
    std::vector<std::tuple<const char*, Reports, std::vector<int>>> rows = {
        {"Alt with digits, then without Alt",
         {{KEY_LEFTALT, true}, {KEY_1, true}, {KEY_1, false}, {KEY_2, true}, {KEY_LEFTALT, false}, {KEY_1, true}},
         {KEY_1, KEY_2}},
        {"a digit not watched", {{KEY_LEFTALT, true}, {KEY_3, true}}, {}},
        {"AltGr is not Alt", {{KEY_RIGHTALT, true}, {KEY_1, true}}, {}},
    };
    for (const int other : {KEY_LEFTSHIFT, KEY_RIGHTCTRL, KEY_LEFTMETA})  // fires only once it is let go
        rows.emplace_back("another modifier",
                          Reports{{KEY_LEFTALT, true}, {other, true}, {KEY_1, true}, {other, false}, {KEY_1, true}},
                          std::vector<int>{KEY_1});
    for (const auto& [name, reports, expected] : rows) {
        SCOPED_TRACE(name);
        ShortcutMatcher matcher({KEY_1, KEY_2});
        std::vector<int> fired;
        for (const KeyEvent& report : reports)
            if (const int code = matcher.feed(report)) fired.push_back(code);
        EXPECT_EQ(fired, expected);
    }
}

// The Alt+digit grab on the desktop, with a target window to see what got through.
class ShortcutsOnX11 : public DesktopTest {
protected:
    bool open() {
        target = std::make_unique<TargetWindow>();
        return target->isReady();
    }
    bool start(std::set<int> codes = {KEY_1, KEY_2}) {
        return grabber.start(std::move(codes), [this](int code) { fired.push_back(code); });
    }
    void press(const std::string& combination) { xdotool({"key", "--clearmodifiers", combination}); }

    std::unique_ptr<TargetWindow> target;
    X11ShortcutGrabber grabber;
    std::vector<int> fired;
};

TEST_F(ShortcutsOnX11, AltDigitIsTakenFromTheFocusedApplicationWhateverTheLockKeysUntilStopped) {
    ASSERT_TRUE(open()) << target->problem();
    ASSERT_TRUE(start());
    press("alt+1");
    press("alt+2");
    xdotool({"key", "Caps_Lock", "alt+1", "Num_Lock", "alt+2", "Caps_Lock", "alt+1", "Num_Lock"});
    ASSERT_TRUE(spinUntil([&] { return fired.size() == 5; })) << ::testing::PrintToString(fired);
    EXPECT_EQ(fired, (std::vector<int>{KEY_1, KEY_2, KEY_1, KEY_2, KEY_1}));
    press("x");
    ASSERT_TRUE(spinUntil([&] { return target->saw("X"); })) << ::testing::PrintToString(target->keysSeen());
    EXPECT_FALSE(target->saw("Alt+1"));
    EXPECT_FALSE(target->saw("Alt+2"));

    grabber.stop();  // gives the keys back
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return target->saw("Alt+1"); }));
    EXPECT_EQ(fired.size(), 5u);
}

TEST_F(ShortcutsOnX11, NothingHappensWhileOurOwnWindowHasFocus) {
    QWidget own;
    ASSERT_TRUE(showFocused(own));
    ASSERT_TRUE(start({KEY_1}));
    press("alt+1");
    spinFor(200ms);
    EXPECT_TRUE(fired.empty());

    ASSERT_TRUE(open()) << target->problem();
    press("alt+1");
    EXPECT_TRUE(spinUntil([&] { return fired.size() == 1; }));
}

}  // namespace
}  // namespace vesk::test

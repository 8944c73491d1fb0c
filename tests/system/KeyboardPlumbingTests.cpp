#include "system/EvdevKeyDecoder.h"
#include "system/EvdevKeySource.h"
#include "system/HotkeyMonitor.h"
#include "system/KeyLayout.h"
#include "system/KeyboardAccess.h"
#include "system/SyntheticKeyLedger.h"
#include "system/X11Support.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <tuple>
#include <vector>

namespace vesk {
namespace {

using Keys = std::vector<KeyEvent>;

// Feeds a recorded sequence and collects what the decoder reports.
Keys play(EvdevKeyDecoder& decoder, const std::vector<InputEvent>& events) {
    Keys out;
    for (const auto& event : events) {
        const auto keys = decoder.feed(event);
        out.insert(out.end(), keys.begin(), keys.end());
    }
    return out;
}

// Recorded from a USB keyboard: Right Ctrl held long enough to auto-repeat, then let go.
// Each key change comes with the scan code (EV_MSC) and ends its frame with SYN_REPORT.
const std::vector<InputEvent> kHoldWithRepeat = {
    {EV_MSC, MSC_SCAN, 0x700e4}, {EV_KEY, KEY_RIGHTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_RIGHTCTRL, 2},
    {EV_SYN, SYN_REPORT, 1},     {EV_KEY, KEY_RIGHTCTRL, 2}, {EV_SYN, SYN_REPORT, 1}, {EV_MSC, MSC_SCAN, 0x700e4},
    {EV_KEY, KEY_RIGHTCTRL, 0},  {EV_SYN, SYN_REPORT, 0},
};

TEST(EvdevKeyDecoder, PressRepeatReleaseGiveOnePressAndOneRelease) {
    EvdevKeyDecoder decoder;
    EXPECT_EQ(play(decoder, kHoldWithRepeat), (Keys{{KEY_RIGHTCTRL, true}, {KEY_RIGHTCTRL, false}}));
    EXPECT_TRUE(decoder.held().empty());
}

TEST(EvdevKeyDecoder, InterleavedKeysKeepTheirOrderAndUnseenReleasesAreDropped) {
    EvdevKeyDecoder decoder;
    const Keys keys = play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 0},  // never seen going down
                                     {EV_KEY, KEY_LEFTALT, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, KEY_1, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, KEY_1, 0},
                                     {EV_KEY, KEY_LEFTALT, 0},
                                     {EV_SYN, SYN_REPORT, 0}});
    EXPECT_EQ(keys, (Keys{{KEY_LEFTALT, true}, {KEY_1, true}, {KEY_1, false}, {KEY_LEFTALT, false}}));
}

TEST(EvdevKeyDecoder, AfterSynDroppedTheDevicesHeldKeysSettleWhatWasMissed) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}});
    // The queue overflowed: what follows belongs to a torn frame and is ignored.
    EXPECT_TRUE(
        play(decoder,
             {{EV_SYN, SYN_DROPPED, 0}, {EV_KEY, KEY_RIGHTCTRL, 0}, {EV_KEY, KEY_RIGHTALT, 1}, {EV_SYN, SYN_REPORT, 0}})
            .empty());
    EXPECT_TRUE(decoder.needsResync());
    // Per the device Right Ctrl is up and Right Alt down: each missed change is reported once.
    EXPECT_EQ(decoder.resynchronize({KEY_RIGHTALT}), (Keys{{KEY_RIGHTCTRL, false}, {KEY_RIGHTALT, true}}));
    EXPECT_FALSE(decoder.needsResync());
    EXPECT_TRUE(play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}}).empty());
    // Keys still down at the next resync report nothing then, and their real release later.
    play(decoder, {{EV_KEY, KEY_LEFTSHIFT, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_SYN, SYN_DROPPED, 0}});
    EXPECT_TRUE(decoder.resynchronize({KEY_RIGHTALT, KEY_LEFTSHIFT}).empty());
    EXPECT_EQ(play(decoder, {{EV_KEY, KEY_RIGHTALT, 0}, {EV_SYN, SYN_REPORT, 0}}), (Keys{{KEY_RIGHTALT, false}}));
}

TEST(EvdevKeyDecoder, DeviceRemovedWhileHeldReleasesEveryHeldKey) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 1},
                   {EV_KEY, KEY_A, 1},
                   {EV_KEY, KEY_A, 0},
                   {EV_KEY, KEY_LEFTSHIFT, 1},
                   {EV_SYN, SYN_REPORT, 0}});
    const Keys released = decoder.deviceRemoved();
    ASSERT_EQ(released.size(), 2u);
    EXPECT_NE(std::find(released.begin(), released.end(), KeyEvent{KEY_RIGHTCTRL, false}), released.end());
    EXPECT_NE(std::find(released.begin(), released.end(), KeyEvent{KEY_LEFTSHIFT, false}), released.end());
    EXPECT_TRUE(decoder.deviceRemoved().empty());
}

TEST(TerminalClass, TerminalsAreRecognizedByEitherPartOfTheirClassOnly) {
    const std::vector<std::tuple<const char*, const char*, bool>> rows = {
        {"xterm", "XTerm", true},
        {"gnome-terminal-server", "Gnome-terminal", true},
        {"konsole", "konsole", true},
        {"Alacritty", "Alacritty", true},
        {"kitty", "", true},
        {"", "URxvt", true},
        {"st-256color", "st-256color", true},
        {"org.gnome.Console", "Org.gnome.Console", true},
        {"Navigator", "firefox", false},
        {"gedit", "Gedit", false},
        {"stellarium", "Stellarium", false},  // "st" only as a whole name
        {"", "", false}};
    for (const auto& [instance, className, terminal] : rows)
        EXPECT_EQ(x11::isTerminalClass(instance, className), terminal) << instance << " / " << className;
}

TEST(SyntheticKeyLedger, EachExpectedReportIsConsumedOnce) {
    SyntheticKeyLedger ledger;
    ledger.expect(KEY_V);
    EXPECT_FALSE(ledger.consume(KEY_C, true));
    EXPECT_TRUE(ledger.consume(KEY_V, true));
    EXPECT_FALSE(ledger.consume(KEY_V, true));  // the person's own V afterwards
    EXPECT_TRUE(ledger.consume(KEY_V, false));
    EXPECT_FALSE(ledger.consume(KEY_V, false));
}

TEST(KeyboardAccess, NodesThatAreNotKeyboardsAreNotCountedNorWatched) {
    const test::ScratchHome home;
    const auto directory = home.root() / "input";
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "event0") << "not a device";
    std::ofstream(directory / "mouse0") << "";
    EXPECT_EQ(EvdevKeySource::readableKeyboardCount(directory), 0);
    auto source = std::make_unique<EvdevKeySource>(directory);
    EXPECT_FALSE(source->start([](const KeyEvent&) {}));
    EXPECT_EQ(source->deviceCount(), 0u);
    // A source that refuses, or none at all, leaves the dictation key unwatched.
    HotkeyMonitor monitor(Hotkey::rightControl, std::move(source));
    EXPECT_FALSE(monitor.startMonitoring());
    EXPECT_FALSE(monitor.isMonitoring());
    EXPECT_FALSE(HotkeyMonitor(Hotkey::rightControl).startMonitoring());
}

TEST(KeyLayout, LettersComeFromTheKeyThatTypesThemUnderTheLayout) {
    struct Row {
        LayoutNames names;
        std::vector<std::pair<char, int>> keys;
    };
    const std::vector<Row> rows = {
        {{"", "", "us", "", ""}, {{'v', KEY_V}, {'c', KEY_C}, {'a', KEY_A}}},
        {{"", "", "us", "dvorak", ""}, {{'v', KEY_DOT}, {'c', KEY_I}, {'a', KEY_A}}},
        {{"", "", "fr", "", ""}, {{'v', KEY_V}, {'a', KEY_Q}, {'z', KEY_W}}},
        {{"", "", "de", "", ""}, {{'y', KEY_Z}, {'z', KEY_Y}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.names.layout + " " + row.names.variant);
        const auto layout = KeyLayout::compile(row.names);
        ASSERT_TRUE(layout.has_value());
        for (const auto& [letter, key] : row.keys) EXPECT_EQ(layout->keyFor(letter), key) << letter;
    }
    EXPECT_EQ(KeyLayout::compile({"", "", "no-such-layout", "", ""}), std::nullopt);
    EXPECT_EQ(KeyLayout::qwerty().keyFor('v'), KEY_V);
    EXPECT_EQ(KeyLayout::qwerty().keyFor('1'), std::nullopt);
}

TEST(KeyLayout, TheSessionLayoutComesFromTheEnvironmentThenTheSystemFile) {
    const test::ScratchHome home;
    const auto file = home.root() / "keyboard";
    std::ofstream(file) << "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"us\"\n"
                           "XKBVARIANT='dvorak'\nXKBOPTIONS=\"\"\n\nBACKSPACE=\"guess\"\n";
    const char* variables[] = {"XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_LAYOUT", "XKB_DEFAULT_VARIANT",
                               "XKB_DEFAULT_OPTIONS"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : variables) {
        const char* value = std::getenv(name);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    const LayoutNames fromFile = sessionLayoutNames(file);
    ::setenv("XKB_DEFAULT_LAYOUT", "fr", 1);
    const LayoutNames fromEnvironment = sessionLayoutNames(file);
    const LayoutNames nowhere = sessionLayoutNames(home.root() / "missing");
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i])
            ::setenv(variables[i], saved[i]->c_str(), 1);
        else
            ::unsetenv(variables[i]);
    }
    EXPECT_EQ(fromFile, (LayoutNames{"", "pc105", "us", "dvorak", ""}));
    EXPECT_EQ(fromEnvironment, (LayoutNames{"", "pc105", "fr", "dvorak", ""}));
    EXPECT_EQ(nowhere, (LayoutNames{"", "", "fr", "", ""}));
}

}  // namespace
}  // namespace vesk

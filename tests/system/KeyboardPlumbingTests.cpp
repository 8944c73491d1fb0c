#include "system/EvdevKeySource.h"
#include "system/KeyboardAccess.h"
#include "system/SyntheticKeyLedger.h"
#include "system/X11Support.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <fstream>

namespace vesk {
namespace {

TEST(TerminalClass, TerminalsAreRecognizedByEitherPartOfTheirClass) {
    EXPECT_TRUE(x11::isTerminalClass("xterm", "XTerm"));
    EXPECT_TRUE(x11::isTerminalClass("gnome-terminal-server", "Gnome-terminal"));
    EXPECT_TRUE(x11::isTerminalClass("konsole", "konsole"));
    EXPECT_TRUE(x11::isTerminalClass("Alacritty", "Alacritty"));
    EXPECT_TRUE(x11::isTerminalClass("kitty", ""));
    EXPECT_TRUE(x11::isTerminalClass("", "URxvt"));
    EXPECT_TRUE(x11::isTerminalClass("st-256color", "st-256color"));
    EXPECT_TRUE(x11::isTerminalClass("org.gnome.Console", "Org.gnome.Console"));
}

TEST(TerminalClass, OrdinaryApplicationsAreNot) {
    EXPECT_FALSE(x11::isTerminalClass("Navigator", "firefox"));
    EXPECT_FALSE(x11::isTerminalClass("gedit", "Gedit"));
    EXPECT_FALSE(x11::isTerminalClass("stellarium", "Stellarium"));  // "st" only as a whole name
    EXPECT_FALSE(x11::isTerminalClass("", ""));
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

TEST(KeyboardAccess, NodesThatAreNotKeyboardsAreNotCounted) {
    const test::ScratchHome home;
    const auto directory = home.root() / "input";
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "event0") << "not a device";
    std::ofstream(directory / "mouse0") << "";
    EXPECT_EQ(EvdevKeySource::readableKeyboardCount(directory), 0);
    EvdevKeySource source(directory);
    EXPECT_FALSE(source.start([](const KeyEvent&) {}));
    EXPECT_EQ(source.deviceCount(), 0u);
}

}  // namespace
}  // namespace vesk

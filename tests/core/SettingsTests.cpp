#include "core/AppPaths.h"
#include "core/Settings.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(Settings, MissingKeysReadAsTheirDefaults) {
    test::ScratchHome home;
    EXPECT_EQ(Settings::hotkey(), Hotkey::rightControl);
    EXPECT_FALSE(Settings::saveHistory());
    EXPECT_EQ(Settings::outputMode(), OutputMode::prompt);
    EXPECT_EQ(Settings::locale(), "en-US");
    EXPECT_FALSE(Settings::autoPaste());
    EXPECT_FALSE(Settings::autoCopy());
}

TEST(Settings, StoredNamesMatchExactlyAndLegacyOutputModesStillRead) {
    test::ScratchHome home;
    const std::pair<const char*, Hotkey> hotkeys[] = {
        {"rightOption", Hotkey::rightOption}, {"RightOption", Hotkey::rightControl}, {"fn", Hotkey::fn}};
    for (const auto& [stored, expected] : hotkeys) {
        Settings::setString("hotkey", stored);
        EXPECT_EQ(Settings::hotkey(), expected) << stored;
    }
    Settings::setHotkey(Hotkey::rightControl);
    EXPECT_EQ(Settings::string("hotkey"), "rightControl");
    const std::pair<const char*, OutputMode> modes[] = {
        {"smart", OutputMode::prompt},   {"raw", OutputMode::exact},      {"aiReady", OutputMode::prompt},
        {"synopsis", OutputMode::clean}, {"verbatim", OutputMode::exact}, {"Verbatim", OutputMode::prompt},
    };
    for (const auto& [stored, expected] : modes) {
        Settings::setString("outputMode", stored);
        EXPECT_EQ(Settings::outputMode(), expected) << stored;
    }
}

TEST(Settings, BooleansAndBytesRoundTrip) {
    test::ScratchHome home;
    Settings::setSaveHistory(false);
    EXPECT_EQ(Settings::boolean("saveHistory"), false);
    EXPECT_FALSE(Settings::saveHistory());
    Settings::setSaveHistory(true);
    EXPECT_TRUE(Settings::saveHistory());
    const std::string json = "{\"title\":\"Bj\xC3\xB8rn\",\"nul\":\"\0\"}";
    Settings::setBytes("voiceProfile", json);
    EXPECT_EQ(Settings::bytes("voiceProfile"), json);
    Settings::remove("voiceProfile");
    EXPECT_FALSE(Settings::bytes("voiceProfile").has_value());
}

TEST(AppPaths, SupportDirectoryIsCreatedAgainAfterDeletion) {
    test::ScratchHome home;
    const auto directory = AppPaths::supportDirectory();
    EXPECT_EQ(directory, home.supportDirectory());
    EXPECT_TRUE(std::filesystem::is_directory(directory));
    std::filesystem::remove_all(directory);
    EXPECT_TRUE(std::filesystem::is_directory(AppPaths::supportDirectory()));
}

}  // namespace
}  // namespace vesk

#include "app/CommandLine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using Mode = CommandLine::Mode;

TEST(CommandLine, UsageTextColumns) {
    // Descriptions start in column 36, the continuation lines in column 35.
    const std::string text(usageText());
    EXPECT_NE(text.find("\n  ProjectVesk --selftest           run local self-tests"), std::string::npos);
    EXPECT_NE(text.find("\n" + std::string(34, ' ') + "[--locale en-US]\n"), std::string::npos);
    EXPECT_EQ(text.back(), 's');
}

// The last mode flag wins and takes its value verbatim; a mode flag without a value, help
// or anything unknown asks for the usage, whatever came before; a trailing "--locale"
// without a value is ignored.
TEST(CommandLine, ParsesModesValuesAndLocale) {
    struct Row {
        std::vector<std::string> arguments;
        Mode mode;
        std::string value, locale;
    };
    const Row rows[] = {
        {{}, Mode::app, "", "en-US"},
        {{"--locale", "de-DE"}, Mode::app, "", "de-DE"},
        {{"--format"}, Mode::usage, "", "en-US"},
        {{"--transcribe"}, Mode::usage, "", "en-US"},
        {{"--stream-transcribe"}, Mode::usage, "", "en-US"},
        {{"--transform"}, Mode::usage, "", "en-US"},
        {{"--format", "hello", "--selftest"}, Mode::selfTest, "", "en-US"},
        {{"--selftest", "--format", "--selftest"}, Mode::format, "--selftest", "en-US"},
        {{"--locale", "fr-FR", "--transcribe", "a.wav"}, Mode::transcribe, "a.wav", "fr-FR"},
        {{"--transcribe", "a.wav", "--locale", "fr-FR"}, Mode::transcribe, "a.wav", "fr-FR"},
        {{"--transcribe", "a.wav", "--locale"}, Mode::transcribe, "a.wav", "en-US"},
        {{"--help"}, Mode::usage, "", "en-US"},
        {{"-h"}, Mode::usage, "", "en-US"},
        {{"--selftest", "--bogus"}, Mode::usage, "", "en-US"},
        {{"--Format", "x"}, Mode::usage, "", "en-US"},  // flags are case-sensitive
    };
    for (const Row& row : rows) {
        std::string arguments;
        for (const std::string& argument : row.arguments) arguments += argument + " ";
        const CommandLine command = CommandLine::parse(row.arguments);
        EXPECT_EQ(command.mode, row.mode) << arguments;
        EXPECT_EQ(command.value, row.value) << arguments;
        EXPECT_EQ(command.locale, row.locale) << arguments;
    }
}

// The real executable: exact bytes on the right stream and the exit status.
TEST(CommandLineProcess, HelpPrintsTheUsageTextAndExitsZero) {
    test::ScratchHome home;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"-h"}, {"--nope"}, {"--format"}, {"--selftest", "x"}}) {
        const auto result = test::runProcess(test::projectVeskExecutable(), arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.front();
        EXPECT_EQ(result.out, std::string(usageText()) + "\n");
        EXPECT_EQ(result.out.size(), 469u);
        EXPECT_TRUE(result.err.empty());
    }
}

TEST(CommandLineProcess, TheApplicationWithoutADesktopSaysSoAndExitsOne) {
    test::ScratchHome home;
    const test::ScopedVariable display("DISPLAY", std::nullopt);
    const test::ScopedVariable wayland("WAYLAND_DISPLAY", std::nullopt);
    const auto result = test::runProcess(test::projectVeskExecutable(), {}, 20);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(result.err,
              "Project Vesk runs in a desktop session (X11, or Wayland with XWayland), and none was found. "
              "Start it from your desktop, or see `ProjectVesk --doctor`.\n");
}

}  // namespace
}  // namespace vesk

#include "app/CommandLine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using Mode = CommandLine::Mode;

CommandLine parse(std::vector<std::string> arguments) { return CommandLine::parse(arguments); }

TEST(CommandLine, UsageTextIsExactly468Bytes) {
    EXPECT_EQ(usageText().size(), 468u);
    // Descriptions start in column 36, the continuation lines in column 35.
    const std::string text(usageText());
    EXPECT_NE(text.find("\n  ProjectVesk --selftest           run local self-tests"), std::string::npos);
    EXPECT_NE(text.find("\n" + std::string(34, ' ') + "[--locale en-US]\n"), std::string::npos);
    EXPECT_EQ(text.back(), 's');
}

TEST(CommandLine, NoArgumentsOrLocaleAloneStartTheApplication) {
    EXPECT_EQ(parse({}).mode, Mode::app);
    EXPECT_EQ(parse({"--locale", "de-DE"}).mode, Mode::app);
}

TEST(CommandLine, ModeFlagWithoutValueAsksForUsage) {
    EXPECT_EQ(parse({"--format"}).mode, Mode::usage);
    EXPECT_EQ(parse({"--transcribe"}).mode, Mode::usage);
    EXPECT_EQ(parse({"--stream-transcribe"}).mode, Mode::usage);
    EXPECT_EQ(parse({"--transform"}).mode, Mode::usage);
}

TEST(CommandLine, LastModeWinsAndValuesAreTakenVerbatim) {
    EXPECT_EQ(parse({"--format", "hello", "--selftest"}).mode, Mode::selfTest);
    const auto command = parse({"--selftest", "--format", "--selftest"});
    EXPECT_EQ(command.mode, Mode::format);
    EXPECT_EQ(command.value, "--selftest");
}

TEST(CommandLine, LocaleBeforeOrAfterTheModeAndTrailingLocaleIgnored) {
    const auto before = parse({"--locale", "fr-FR", "--transcribe", "a.wav"});
    const auto after = parse({"--transcribe", "a.wav", "--locale", "fr-FR"});
    EXPECT_EQ(before.mode, Mode::transcribe);
    EXPECT_EQ(before.locale, "fr-FR");
    EXPECT_EQ(after.locale, "fr-FR");
    EXPECT_EQ(after.value, "a.wav");
    const auto trailing = parse({"--transcribe", "a.wav", "--locale"});
    EXPECT_EQ(trailing.mode, Mode::transcribe);
    EXPECT_EQ(trailing.locale, "en-US");
}

TEST(CommandLine, UnknownArgumentsAndHelpAskForUsageWhateverCameBefore) {
    EXPECT_EQ(parse({"--help"}).mode, Mode::usage);
    EXPECT_EQ(parse({"-h"}).mode, Mode::usage);
    EXPECT_EQ(parse({"--selftest", "--bogus"}).mode, Mode::usage);
    EXPECT_EQ(parse({"--Format", "x"}).mode, Mode::usage);  // flags are case-sensitive
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

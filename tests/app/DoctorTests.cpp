#include "core/Settings.h"
#include "support/TestEnvironment.h"
#include "support/VirtualDesktop.h"
#include "support/VirtualMicrophone.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

namespace vesk::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
}

// Without a desktop or a sound server every missing piece is named with its fix, and the
// verdict is a failure: the required checks decide, the tray and rewriting do not.
TEST(DoctorCommand, NamesWhatIsMissingOnAComputerWithoutADesktop) {
    const ScratchHome home;
    Settings::setString("speechEngine", "pocketsphinx");
    const ScopedVariable noX("DISPLAY", std::nullopt), noWayland("WAYLAND_DISPLAY", std::nullopt);
    const ScopedVariable noSound("PULSE_SERVER", "unix:" + (home.root() / "no-server").string());
    const ProcessResult result = runProcess(projectVeskExecutable(), {"--doctor"});
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 6u) << result.out;
    EXPECT_TRUE(printed[0].starts_with("desktop session: missing \u2014 No graphical session was found")) << printed[0];
    EXPECT_TRUE(printed[1].starts_with("keyboard access: missing")) << printed[1];
    EXPECT_NE(printed[1].find("Fix: sudo usermod -aG input"), std::string::npos) << printed[1];
    EXPECT_TRUE(printed[2].starts_with("sound server and microphone: missing")) << printed[2];
    EXPECT_TRUE(printed[3].starts_with("tray: missing")) << printed[3];
    EXPECT_EQ(printed[4], "speech recognition: ok \u2014 PocketSphinx for en-US.");
    EXPECT_TRUE(printed[5].starts_with("rewriting: missing \u2014 Choose a local language model")) << printed[5];
}

// On a desktop with a microphone dictation can work: the key and paste go through X11, and
// the missing tray does not decide.
TEST(DoctorCommand, PassesOnAHeadlessDesktopWithAMicrophone) {
    const ScratchHome home;
    Settings::setString("speechEngine", "pocketsphinx");
    const VirtualDesktop desktop;
    ASSERT_TRUE(desktop.isRunning()) << desktop.problem();
    const VirtualMicrophone microphone;
    ASSERT_TRUE(microphone.running()) << microphone.unavailableReason();
    const ScopedVariable noWayland("WAYLAND_DISPLAY", std::nullopt);
    const ProcessResult result = runProcess(projectVeskExecutable(), {"--doctor"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 6u) << result.out;
    EXPECT_EQ(printed[0], "desktop session: ok \u2014 X11 (" + desktop.display() + ").");
    EXPECT_EQ(printed[1], "keyboard access: ok \u2014 the dictation key through X11 XInput2, the paste through XTest.");
    EXPECT_EQ(printed[2],
              "sound server and microphone: ok \u2014 the sound server answers and its default microphone opens.");
    EXPECT_TRUE(printed[3].starts_with("tray: missing")) << printed[3];
}

}  // namespace
}  // namespace vesk::test

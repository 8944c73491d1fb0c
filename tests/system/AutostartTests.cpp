#include "system/Autostart.h"

#include "core/AtomicFile.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vesk::test {
namespace {

TEST(Autostart, TurningOnWritesAValidEntryAndTurningOffRemovesIt) {
    const ScratchHome home;
    EXPECT_EQ(Autostart::entryPath(), home.root() / "config" / "autostart" / "ProjectVesk.desktop");
    EXPECT_FALSE(Autostart::isEnabled());

    for (const std::filesystem::path executable : {"/usr/bin/ProjectVesk", "/opt/my apps/$vesk/ProjectVesk"}) {
        ASSERT_TRUE(Autostart::setEnabled(true, executable));
        EXPECT_TRUE(Autostart::isEnabled());
        // The desktop's own validator reads what a session's autostart will read.
        const ProcessResult check = runProcess("desktop-file-validate", {Autostart::entryPath().string()});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    }
    EXPECT_NE(AtomicFile::read(Autostart::entryPath())->find("Exec=\"/opt/my apps/\\$vesk/ProjectVesk\"\n"),
              std::string::npos);

    ASSERT_TRUE(Autostart::setEnabled(false, "/usr/bin/ProjectVesk"));
    EXPECT_FALSE(std::filesystem::exists(Autostart::entryPath()));
    EXPECT_TRUE(Autostart::setEnabled(false, "/usr/bin/ProjectVesk")) << "already off";
}

TEST(Autostart, AnEntrySwitchedOffByTheDesktopReadsAsOff) {
    const ScratchHome home;
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        ASSERT_TRUE(Autostart::setEnabled(true, "/usr/bin/ProjectVesk"));
        const std::string entry = *AtomicFile::read(Autostart::entryPath());
        ASSERT_TRUE(AtomicFile::write(Autostart::entryPath(), entry + off + "\n"));
        EXPECT_FALSE(Autostart::isEnabled()) << off;
    }
}

TEST(Autostart, AFolderThatCannotBeMadeIsReported) {
    const ScratchHome home;
    // A file where the autostart folder belongs.
    ASSERT_TRUE(AtomicFile::write(home.root() / "config" / "autostart", "not a folder"));
    EXPECT_FALSE(Autostart::setEnabled(true, "/usr/bin/ProjectVesk"));
    EXPECT_FALSE(Autostart::isEnabled());
}

}  // namespace
}  // namespace vesk::test

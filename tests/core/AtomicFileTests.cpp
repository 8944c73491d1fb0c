#include "core/AtomicFile.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vesk {
namespace {

TEST(AtomicFile, WriteReplacesWholeFileAndLeavesNoTemporaries) {
    test::ScratchHome home;
    const auto path = home.root() / "nested" / "data.json";
    ASSERT_TRUE(AtomicFile::write(path, "first version, longer than the second"));
    ASSERT_TRUE(AtomicFile::write(path, "second"));
    EXPECT_EQ(AtomicFile::read(path), "second");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path.parent_path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile) {
    test::ScratchHome home;
    const auto directory = home.root() / "locked";
    const auto path = directory / "data.json";
    ASSERT_TRUE(AtomicFile::write(path, "keep me"));
    ::chmod(directory.c_str(), 0500);
    const bool written = AtomicFile::write(path, "lost");
    ::chmod(directory.c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(written);  // root ignores directory permissions
    }
    if (!written) {
        EXPECT_EQ(AtomicFile::read(path), "keep me");
    }
}

TEST(AtomicFile, MoveAsideKeepsEveryUnreadableCopyAndAMissingFileIsNothing) {
    test::ScratchHome home;
    const auto path = home.root() / "learned.json";
    EXPECT_FALSE(AtomicFile::read(path).has_value());
    EXPECT_FALSE(AtomicFile::moveAside(path).has_value());
    ASSERT_TRUE(AtomicFile::write(path, "{broken"));
    const auto first = AtomicFile::moveAside(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(first->filename().string().find("learned.json.unreadable-"), std::string::npos);
    EXPECT_EQ(AtomicFile::read(*first), "{broken");
    ASSERT_TRUE(AtomicFile::write(path, "{again"));
    const auto second = AtomicFile::moveAside(path);
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*first, *second);
    EXPECT_EQ(AtomicFile::read(*second), "{again");
}

}  // namespace
}  // namespace vesk

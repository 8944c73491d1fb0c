#include "core/AtomicFile.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <iterator>

namespace vesk {
namespace {

TEST(AtomicFile, WriteReplacesWholeFileAndLeavesNoTemporaries) {
    test::ScratchHome home;
    const auto path = home.root() / "nested" / "data.json";
    ASSERT_TRUE(AtomicFile::write(path, "first version, longer than the second"));
    ASSERT_TRUE(AtomicFile::write(path, "second"));
    EXPECT_EQ(AtomicFile::read(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
}

// The file size limit makes the write of the temporary copy fail part way, whoever runs
// the test (directory permissions do not bind the superuser).
TEST(AtomicFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporaries) {
    test::ScratchHome home;
    const auto path = home.root() / "nested" / "data.json";
    ASSERT_TRUE(AtomicFile::write(path, "keep me"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = AtomicFile::write(path, std::string(1 << 20, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(AtomicFile::read(path), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
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

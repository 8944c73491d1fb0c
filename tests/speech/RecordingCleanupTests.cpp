#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "speech/AudioRecorder.h"
#include "support/TestEnvironment.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingCleanup : public ::testing::Test {
protected:
    fs::path make(const std::string& name, std::chrono::seconds age) const {
        const auto path = home.root() / "tmp" / name;
        std::ofstream(path) << "audio";
        fs::last_write_time(path, fs::file_time_type::clock::now() - age);
        return path;
    }
    test::ScratchHome home;
};

TEST_F(RecordingCleanup, DeletesOnlyRecordingsOlderThanAnHour) {
    const auto old = make("project-vesk-E621E1F8-C36C-495A-93FC-0C247A3E6E5F.caf", 2h);
    const auto justOld = make("project-vesk-OLD.caf", 3600s + 60s);
    const auto young = make("project-vesk-YOUNG.caf", 3600s - 60s);
    const auto fresh = make("project-vesk-NEW.caf", 0s);
    AudioRecorder::cleanupAbandonedRecordings();
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(justOld));
    EXPECT_TRUE(fs::exists(young));
    EXPECT_TRUE(fs::exists(fresh));
}

TEST_F(RecordingCleanup, LeavesOtherNamesAndExtensionsAlone) {
    const std::vector<fs::path> kept = {
        make("project-vesk-A.CAF", 5h),  make("project-vesk-B.wav", 5h), make("project-vesk-C.caf.part", 5h),
        make("other-D.caf", 5h),         make("Project-Vesk-E.caf", 5h), make(".project-vesk-F.caf", 5h),
        make("xproject-vesk-G.caf", 5h),
    };
    const auto inner = home.root() / "tmp" / "nested";
    fs::create_directories(inner);
    const auto nested = inner / "project-vesk-H.caf";
    std::ofstream(nested) << "audio";
    fs::last_write_time(nested, fs::file_time_type::clock::now() - 5h);

    AudioRecorder::cleanupAbandonedRecordings();
    for (const auto& path : kept) EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::exists(nested)) << "only the top level is cleaned";
}

TEST_F(RecordingCleanup, AMissingTemporaryDirectoryIsNotAnError) {
    ::setenv("TMPDIR", (home.root() / "absent").c_str(), 1);
    EXPECT_NO_THROW(AudioRecorder::cleanupAbandonedRecordings());
    EXPECT_FALSE(fs::exists(home.root() / "absent"));
}

}  // namespace
}  // namespace vesk

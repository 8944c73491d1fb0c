#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "audio/AudioRecorder.h"
#include "support/TestEnvironment.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(RecordingCleanup, DeletesOnlyTopLevelRecordingsOlderThanAnHour) {
    test::ScratchHome home;
    const auto temporary = home.root() / "tmp";
    fs::create_directories(temporary / "nested");
    const std::vector<std::tuple<std::string, std::chrono::seconds, bool>> rows = {
        {"project-vesk-E621E1F8-C36C-495A-93FC-0C247A3E6E5F.caf", 2h, true},
        {"project-vesk-OLD.caf", 3600s + 60s, true},
        {"project-vesk-YOUNG.caf", 3600s - 60s, false},
        {"project-vesk-NEW.caf", 0s, false},
        // Other names and extensions are not ours, however old.
        {"project-vesk-A.CAF", 5h, false},
        {"project-vesk-B.wav", 5h, false},
        {"project-vesk-C.caf.part", 5h, false},
        {"other-D.caf", 5h, false},
        {"Project-Vesk-E.caf", 5h, false},
        {".project-vesk-F.caf", 5h, false},
        {"xproject-vesk-G.caf", 5h, false},
        {"nested/project-vesk-H.caf", 5h, false},
    };
    for (const auto& [name, age, _] : rows) {
        std::ofstream(temporary / name) << "audio";
        fs::last_write_time(temporary / name, fs::file_time_type::clock::now() - age);
    }
    AudioRecorder::cleanupAbandonedRecordings();
    for (const auto& [name, age, deleted] : rows) EXPECT_EQ(fs::exists(temporary / name), !deleted) << name;

    ::setenv("TMPDIR", (home.root() / "absent").c_str(), 1);
    EXPECT_NO_THROW(AudioRecorder::cleanupAbandonedRecordings());
    EXPECT_FALSE(fs::exists(home.root() / "absent"));
}

}  // namespace
}  // namespace vesk

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "audio/AudioFileWriter.h"
#include "audio/AudioRecorder.h"
#include "audio/CaptureTestSupport.h"
#include "core/Error.h"
#include "support/Thrown.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void makeFile(const fs::path& path, std::chrono::seconds age) {
    std::ofstream(path) << "audio";
    fs::last_write_time(path, fs::file_time_type::clock::now() - age);
}

std::string contents(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Clean-up looks where recordings go: the runtime directory when it is usable, else the
// temporary one, and leaves the other place alone.
TEST(RecordingCleanup, DeletesOnlyTopLevelRecordingsOlderThanAnHourWhereRecordingsGo) {
    for (const bool useRuntimeDirectory : {false, true}) {
        SCOPED_TRACE(useRuntimeDirectory ? "runtime directory" : "temporary directory");
        test::RecordingHome home;
        fs::path recordings = home.recordings(), elsewhere = home.root() / "run";
        fs::create_directories(recordings);
        fs::create_directories(elsewhere);
        fs::permissions(elsewhere, fs::perms::owner_all);
        std::optional<test::ScopedVariable> runtime;
        if (useRuntimeDirectory) {
            runtime.emplace("XDG_RUNTIME_DIR", elsewhere.string());
            std::swap(recordings, elsewhere);
        }
        fs::create_directories(recordings / "nested");
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
        for (const auto& [name, age, _] : rows) makeFile(recordings / name, age);
        makeFile(elsewhere / "project-vesk-OTHER-PLACE.caf", 5h);

        AudioRecorder::cleanupAbandonedRecordings();
        for (const auto& [name, age, deleted] : rows) EXPECT_EQ(fs::exists(recordings / name), !deleted) << name;
        EXPECT_TRUE(fs::exists(elsewhere / "project-vesk-OTHER-PLACE.caf"));
    }

    test::RecordingHome home;
    ::setenv("TMPDIR", (home.root() / "absent").c_str(), 1);
    EXPECT_NO_THROW(AudioRecorder::cleanupAbandonedRecordings());
    EXPECT_FALSE(fs::exists(home.root() / "absent"));
}

// A new recording never replaces, nor writes through, whatever already has its name (in a
// shared temporary directory another user could plant a link there).
TEST(RecordingFile, IsCreatedNewAndNeverThroughWhatIsAlreadyThere) {
    test::RecordingHome home;
    const fs::path directory = home.recordings();
    const fs::path victim = directory / "victim.txt";
    std::ofstream(victim) << "keep";
    std::ofstream(directory / "existing.caf") << "keep";
    fs::create_symlink(victim, directory / "link.caf");
    fs::create_symlink(directory / "made-through-link.caf", directory / "dangling.caf");

    for (const char* name : {"existing.caf", "link.caf", "dangling.caf"}) {
        SCOPED_TRACE(name);
        const auto error = test::thrownBy<Error>([&] { AudioFileWriter(directory / name, 16000, 1); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), "POSIX");
        EXPECT_EQ(error->code(), EEXIST);
        EXPECT_TRUE(std::string(error->what()).starts_with("The recording file could not be created: "));
    }
    EXPECT_EQ(contents(victim), "keep");
    EXPECT_EQ(contents(directory / "existing.caf"), "keep");
    EXPECT_TRUE(fs::is_symlink(directory / "link.caf"));
    EXPECT_FALSE(fs::exists(directory / "made-through-link.caf"));
}

}  // namespace
}  // namespace vesk

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace vesk {
namespace {

const std::string kRecording =
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav";

const std::string kWriteError = "Project Vesk could not write to standard output.\n";

// The real executable with its standard output sent to `target` by the shell.
test::ProcessResult runWithOutputTo(const std::string& target, const std::vector<std::string>& arguments) {
    std::vector<std::string> shellArguments{"-c", "exec \"$0\" \"$@\" >" + target, test::projectVeskExecutable()};
    shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
    return test::runProcess("/bin/sh", shellArguments, 180);
}

// Every mode that prints on success: output that cannot be written is a failure with one
// line on standard error, never a silent success.
TEST(OutputErrors, AFailedWriteToStandardOutputEndsWithStatusOneAndOneLine) {
    test::ScratchHome home;
    std::filesystem::create_directories(home.root() / "config" / "ProjectVesk");
    std::ofstream(home.root() / "config" / "ProjectVesk" / "ProjectVesk.conf")
        << "[General]\nspeechEngine=pocketsphinx\n";
    const std::vector<std::vector<std::string>> modes{
        {"--format", "hello"},
        {"--selftest"},
        {"--help"},
        {"--transcribe", kRecording},
    };
    for (const auto& arguments : modes) {
        SCOPED_TRACE(arguments.front());
        const auto full = runWithOutputTo("/dev/full", arguments);
        EXPECT_EQ(full.exitCode, 1);
        EXPECT_EQ(full.err, kWriteError);
        // The same run with somewhere to write succeeds and says nothing of the kind.
        const auto written = runWithOutputTo("/dev/null", arguments);
        EXPECT_EQ(written.exitCode, 0) << written.err;
        EXPECT_EQ(written.err.find("could not write"), std::string::npos) << written.err;
    }
    // A closed standard output is a failed write too.
    const auto closed = runWithOutputTo("&-", {"--format", "hello"});
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_EQ(closed.err, kWriteError);
}

}  // namespace
}  // namespace vesk

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace vesk {
namespace {

// The real executable runs all eleven checks in one process, before any application
// object exists, in the runner's order, each passing.
TEST(SelfTestCommand, PrintsEveryCheckInTheRunnersOrderAllPassing) {
    test::ScratchHome home;
    const auto result = test::runProcess(test::projectVeskExecutable(), {"--selftest"}, 180);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;

    // One line, or the first of a check's lines, per component, in the runner's order.
    const std::vector<std::string> expectedPrefixes{
        "PASS: \"um hello world\" -> \"Hello world.\"",
        "PASS: exact formatting preserves filler",
        "PASS: diff(\"",
        "PASS: prompt assessment",
        "PASS: confidence lens review ranking",
        "PASS: critical-detail meaning lock",
        "PASS: progressive live speech reporting",
        "PASS: signed PCM waveform sampling",
        "PASS: detached audio-buffer ownership",
        "PASS: low/mid/high band separation",
        "PASS: log-spectrum bass/mid/high isolation",
        "PASS: visual analysis ",
        "PASS: latest-frame visualization backpressure (",
        "PASS: speech history migration",
        "PASS: notch-aware HUD geometry",
        "PASS: menu-bar waveform rendering",
    };
    size_t next = 0;
    std::istringstream out(result.out);
    for (std::string line; std::getline(out, line);) {
        EXPECT_FALSE(line.starts_with("FAIL")) << line;
        if (next < expectedPrefixes.size() && line.starts_with(expectedPrefixes[next])) ++next;
    }
    EXPECT_EQ(next, expectedPrefixes.size())
        << "missing or out of order: " << (next < expectedPrefixes.size() ? expectedPrefixes[next] : "") << "\n"
        << result.out;
    EXPECT_NE(result.out.find(" ms/frame\n"), std::string::npos);
}

}  // namespace
}  // namespace vesk

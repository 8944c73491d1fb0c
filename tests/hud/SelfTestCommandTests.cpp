#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace vesk {
namespace {

// The real executable, before any application object exists, prints the audio, HUD and
// menu-bar checks in the runner's order, each passing.
TEST(SelfTestCommand, PrintsTheVisualChecksInOrderAllPassing) {
    test::ScratchHome home;
    const auto result = test::runProcess(test::projectVeskExecutable(), {"--selftest"}, 120);
    const std::vector<std::string> expectedPrefixes{
        "PASS: signed PCM waveform sampling",
        "PASS: detached audio-buffer ownership",
        "PASS: low/mid/high band separation",
        "PASS: log-spectrum bass/mid/high isolation",
        "PASS: visual analysis ",
        "PASS: latest-frame visualization backpressure (",
        "PASS: notch-aware HUD geometry",
        "PASS: menu-bar waveform rendering",
    };
    std::size_t next = 0;
    std::istringstream out(result.out);
    for (std::string line; std::getline(out, line);) {
        if (next < expectedPrefixes.size() && line.starts_with(expectedPrefixes[next])) ++next;
        EXPECT_FALSE(line.find("visual") != std::string::npos && line.starts_with("FAIL")) << line;
    }
    EXPECT_EQ(next, expectedPrefixes.size()) << result.out << result.err;
    EXPECT_NE(result.out.find(" ms/frame\n"), std::string::npos);
}

}  // namespace
}  // namespace vesk

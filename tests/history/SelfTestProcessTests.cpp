#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

// The product's own checks run in one process and report in the runner's order.
TEST(SelfTestCommand, PrintsTheJudgementAndHistoryChecksInOrder) {
    test::ScratchHome home;
    const auto result = test::runProcess(test::projectVeskExecutable(), {"--selftest"}, 120);
    const std::vector<std::string> lines{
        "PASS: prompt assessment\n",
        "PASS: confidence lens review ranking\n",
        "PASS: critical-detail meaning lock\n",
        "PASS: speech history migration\n",
    };
    size_t at = 0;
    for (const auto& line : lines) {
        const size_t found = result.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "missing or out of order in:\n" << result.out;
        at = found + line.size();
    }
    // Other components' checks may depend on the machine; these four must never fail.
    for (const char* label : {"prompt assessment", "confidence lens", "meaning lock", "history migration"})
        EXPECT_EQ(result.out.find(std::string("FAIL: ") + label), std::string::npos) << result.out;
}

}  // namespace
}  // namespace vesk

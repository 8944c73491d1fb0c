#include "app/SelfTestRunner.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(SelfTestRunner, RunsEveryCheckInOrderAndFailsIfAnyFails) {
    std::vector<std::string> ran;
    std::vector<SelfTestCheck> checks;
    for (int i = 0; i < 11; ++i) {
        checks.push_back({"check" + std::to_string(i), [&ran, i] {
                              ran.push_back("check" + std::to_string(i));
                              return i != 4;  // one deliberately failing check
                          }});
    }
    EXPECT_FALSE(runSelfTests(checks));
    ASSERT_EQ(ran.size(), 11u);
    EXPECT_EQ(ran.front(), "check0");
    EXPECT_EQ(ran.back(), "check10");
}

TEST(SelfTestRunner, AllPassingChecksPassAndPrintNothingOfTheirOwn) {
    std::vector<SelfTestCheck> checks{{"a", [] { return true; }}, {"b", [] { return true; }}};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(runSelfTests(checks));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace vesk

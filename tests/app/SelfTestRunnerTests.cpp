#include "app/SelfTestRunner.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(SelfTestRunner, RunsEveryCheckInOrderAndFailsIfAnyFails) {
    for (const int failing : {4, -1}) {
        std::vector<std::string> ran;
        std::vector<SelfTestCheck> checks;
        for (int i = 0; i < 11; ++i)
            checks.push_back({"check" + std::to_string(i), [&ran, i, failing] {
                                  ran.push_back("check" + std::to_string(i));
                                  return i != failing;
                              }});
        testing::internal::CaptureStdout();
        EXPECT_EQ(runSelfTests(checks), failing < 0) << failing;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the checks print their own lines";
        ASSERT_EQ(ran.size(), 11u);
        EXPECT_EQ(ran.front(), "check0");
        EXPECT_EQ(ran.back(), "check10");
    }
}

}  // namespace
}  // namespace vesk

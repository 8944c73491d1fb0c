#include "speech/ConfidenceCalibration.h"

#include <gtest/gtest.h>

namespace vesk::test {
namespace {

using namespace ConfidenceCalibration;

// More raw evidence never lowers a word's confidence, and every confidence is a probability.
TEST(ConfidenceCalibration, EachCurveRisesWithItsRawScoreAndStaysWithinZeroAndOne) {
    for (const bool function : {false, true}) {
        for (const int characters : {1, 3, 8}) {
            for (const double agreement : {0.0, 0.5, 1.0}) {
                double previous = -1;
                for (int step = 0; step <= 100; ++step) {
                    const double c = pocketSphinx({step / 100.0, agreement, function, characters, step / 100.0});
                    ASSERT_GE(c, 0.0);
                    ASSERT_LE(c, 1.0);
                    ASSERT_GE(c, previous) << "posterior " << step / 100.0;
                    previous = c;
                }
                EXPECT_GT(pocketSphinx({0.9, 1.0, function, characters}),
                          pocketSphinx({0.9, 0.2, function, characters}));
            }
        }
    }
    double previous = -1;
    for (int step = 0; step <= 100; ++step) {
        const float p = static_cast<float>(step) / 100.0f;
        const double c = whisper({{0.99f, p}});
        ASSERT_GE(c, 0.0);
        ASSERT_LE(c, 1.0);
        ASSERT_GE(c, previous);
        previous = c;
    }
    EXPECT_EQ(whisper({}), 0.0);
}

TEST(ConfidenceCalibration, EvidenceFromTheUtterance) {
    const std::vector<double> around = neighbourPosteriors({0.9, 0.5, 0.1});
    ASSERT_EQ(around.size(), 3u);
    EXPECT_DOUBLE_EQ(around[0], 0.5);
    EXPECT_NEAR(around[1], 0.5, 1e-9);  // 0.9 and 0.1 are opposite log-odds
    EXPECT_DOUBLE_EQ(around[2], 0.5);
    EXPECT_EQ(neighbourPosteriors({0.3}), std::vector<double>{0.3});

    const std::vector<std::string> hypotheses{"go forward ten meters", "go forward and meters", "go for word tent"};
    EXPECT_DOUBLE_EQ(nbestAgreement("ten", hypotheses), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(nbestAgreement("go", hypotheses), 1.0);
    EXPECT_DOUBLE_EQ(nbestAgreement("meters", hypotheses), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(nbestAgreement("anything", {}), 1.0);
    EXPECT_TRUE(isFunctionWord("and"));
    EXPECT_TRUE(isFunctionWord("I'm"));
    EXPECT_FALSE(isFunctionWord("meters"));
}

// The fitting script reads these pairs back from the trace.
TEST(ConfidenceCalibration, TheTraceDescribesTheRawEvidenceAsTheFittingScriptReadsIt) {
    using ConfidenceCalibration::describe;
    EXPECT_EQ(describe(PocketSphinxWordEvidence{0.244, 0.5833, false, 3, 0.97064}),
              "raw=0.2440 agreement=0.583 function=0 neighbours=0.9706");
    // mean: the tokens' mean log-odds (of 0.2 and 0.8: zero) as a probability.
    EXPECT_EQ(describe(WhisperWordEvidence{{0.2f, 0.8f}}), "weakest=0.2000 mean=0.5000 tokens=2");
    EXPECT_EQ(describe(WhisperWordEvidence{}), "tokens=0");
}

}  // namespace
}  // namespace vesk::test

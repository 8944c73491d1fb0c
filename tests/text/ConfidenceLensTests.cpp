#include "text/ConfidenceLens.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace vesk::ConfidenceLens {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<ConfidenceIssue> referenceIssues() {
    return candidates({{"Send 5 files to Bjorn.", 0.42}}, {"Send 5 files to Bjørn.", "Send 5 files to Bjarn."});
}

// A transcript whose only scored run is `word`, preceded by unscored text.
std::vector<TranscriptRun> scored(std::string before, std::string word, double confidence) {
    return {{std::move(before), std::nullopt}, {std::move(word), confidence}};
}

TEST(ConfidenceLens, ReferenceSegmentGivesOneCriticalIssueWithBothSpellings) {
    const auto issues = referenceIssues();
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].id, "0-bjorn");
    EXPECT_EQ(issues[0].heard, "Bjorn");
    EXPECT_THAT(issues[0].alternatives, ElementsAre("Bjørn", "Bjarn"));
    EXPECT_EQ(issues[0].confidence, 0.42);
    EXPECT_TRUE(issues[0].isCritical);
}

TEST(ConfidenceLens, MergingFourCopiesGivesTheSameIssueOnce) {
    const auto issues = referenceIssues();
    EXPECT_EQ(merge({issues, issues, issues, issues}), issues);
    EXPECT_EQ(merge({issues}), issues);
    EXPECT_THAT(merge({}), IsEmpty());
}

TEST(ConfidenceLens, SelfTestPassesAndSaysSo) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(runSelfTest());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "PASS: confidence lens review ranking\n");
}

TEST(ConfidenceLens, ThresholdsAreExclusiveAndHigherForLiteralDetails) {
    // An ordinary word is reported below 0.72 only.
    EXPECT_THAT(candidates(scored("please send the ", "report", 0.72), {}), IsEmpty());
    EXPECT_THAT(candidates(scored("please send the ", "report", 0.7199), {}),
                ElementsAre(testing::Field(&ConfidenceIssue::heard, "report")));
    EXPECT_THAT(candidates(scored("please send the ", "report", 0.80), {}), IsEmpty());
    // A name inside the text is critical: reported below 0.88.
    EXPECT_THAT(candidates(scored("please call ", "Anna", 0.80), {}),
                ElementsAre(testing::Field(&ConfidenceIssue::isCritical, true)));
    EXPECT_THAT(candidates(scored("please call ", "Anna", 0.88), {}), IsEmpty());
    EXPECT_EQ(candidates(scored("please call ", "Anna", 0.8799), {}).size(), 1u);
}

TEST(ConfidenceLens, UnscoredRunsAndBlankTranscriptsGiveNothing) {
    EXPECT_THAT(candidates({{"   \n ", 0.1}}, {"anything"}), IsEmpty());
    EXPECT_THAT(candidates({}, {}), IsEmpty());
    EXPECT_THAT(candidates({{"call Bjorn", std::nullopt}}, {"call Bjørn"}), IsEmpty());
    EXPECT_THAT(candidates({{"call ", std::nullopt}, {" ?! ", 0.1}}, {}), IsEmpty());
}

TEST(ConfidenceLens, AlternativesThatOnlyDifferInCaseSpacingOrOuterPunctuationAreIgnored) {
    const auto issues = candidates({{"send the report", 0.5}}, {"  Send  the REPORT! ", "\n\t", ""});
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].heard, "send the report");
    EXPECT_THAT(issues[0].alternatives, IsEmpty());
    EXPECT_EQ(issues[0].id, "0-send the report");
}

TEST(ConfidenceLens, LongUncertainRunsWithoutAlternativesAreNotReported) {
    EXPECT_EQ(candidates({{"one two three four", 0.3}}, {}).size(), 1u);
    EXPECT_THAT(candidates({{"one two three four five", 0.3}}, {}), IsEmpty());
}

TEST(ConfidenceLens, OnlyPairsAboutTheRunAreKept) {
    // Both words differ in the alternative; each run gets only its own spelling.
    const auto issues =
        candidates({{"meet ", std::nullopt}, {"Jon", 0.3}, {" at ", std::nullopt}, {"Kopenhagen", 0.99}},
                   {"meet John at Copenhagen"});
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].heard, "Jon");
    EXPECT_THAT(issues[0].alternatives, ElementsAre("John"));
}

TEST(ConfidenceLens, ReviewKeysFoldCaseAndDiacriticsSpellingKeysOnlyCase) {
    EXPECT_EQ(reviewKey("  Bjørn. "), "bjorn");
    EXPECT_EQ(reviewKey("bjorn"), "bjorn");
    EXPECT_EQ(reviewKey("«Café  Crème»"), "cafe creme");
    EXPECT_EQ(spellingKey("Bjørn"), "bjørn");
    EXPECT_NE(spellingKey("Bjørn"), spellingKey("Bjorn"));
    EXPECT_EQ(reviewKey("..."), "");
    EXPECT_EQ(reviewKey("$5"), "$5");  // symbols are not punctuation
}

TEST(ConfidenceLens, UniqueDropsTheHeardWordInAnyCaseButKeepsOtherDiacritics) {
    EXPECT_THAT(unique({"Bjorn", " BJORN.", "Bjørn", "  ", "bjørn!", "Bjarn"}, "bjorn"), ElementsAre("Bjørn", "Bjarn"));
    EXPECT_THAT(unique({}, "x"), IsEmpty());
}

TEST(ConfidenceLens, SameWordFromTwoSegmentsIsReportedOnceWithAlternativesFromBoth) {
    const std::vector<ConfidenceIssue> first{{"0-bjorn", "Bjorn", {"Bjørn"}, 0.4, true}};
    const std::vector<ConfidenceIssue> second{{"0-bjorn", "bjorn.", {"Bjarn", "Björn"}, 0.3, false}};
    const auto merged = merge({first, second});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].heard, "Bjorn");  // 0.84 is more urgent than 0.7
    EXPECT_EQ(merged[0].confidence, 0.4);
    EXPECT_THAT(merged[0].alternatives, ElementsAre("Bjørn", "Bjarn"));

    // A strictly more urgent later report takes over the word and its confidence.
    const std::vector<ConfidenceIssue> third{{"0-bjørn", "Bjørn", {"Bjarne"}, 0.05, true}};
    const auto taken = merge({first, third});
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].heard, "Bjørn");
    EXPECT_EQ(taken[0].confidence, 0.05);
    EXPECT_THAT(taken[0].alternatives, ElementsAre("Bjarne"));  // "Bjørn" is now the heard word
}

TEST(ConfidenceLens, AMergedWordIsNeverItsOwnAlternative) {
    const std::vector<ConfidenceIssue> urgent{{"0-bjorn", "Bjorn", {"Bjarn"}, 0.2, true}};
    const std::vector<ConfidenceIssue> calmer{{"0-bjorn", "bjørn", {"Bjorn", "Björn"}, 0.6, false}};
    const auto merged = merge({urgent, calmer});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].heard, "Bjorn");
    EXPECT_THAT(merged[0].alternatives, ElementsAre("Bjarn", "Björn"));
}

TEST(ConfidenceLens, RanksByUrgencyThenLengthAndKeepsThree) {
    const std::vector<Candidate> candidates{
        {"alpha", {"a1", "a2", "a3"}, 0.5, false},  // 0.5
        {"Zed", {}, 0.6, true},                     // 0.64
        {"beta", {}, 0.5, false},                   // 0.5, shorter than alpha
        {"gamma", {}, 0.9, false},                  // 0.1: fourth, dropped
        {"", {}, 0.0, true},                        // no key: dropped
    };
    const auto issues = ranked(candidates);
    ASSERT_EQ(issues.size(), 3u);
    EXPECT_EQ(issues[0].id, "0-zed");
    EXPECT_EQ(issues[1].id, "1-alpha");
    EXPECT_THAT(issues[1].alternatives, ElementsAre("a1", "a2"));
    EXPECT_EQ(issues[2].id, "2-beta");
}

TEST(ConfidenceLens, CriticalWordsLookLikeLiteralDetails) {
    EXPECT_TRUE(isCritical("5", "send 5"));
    EXPECT_TRUE(isCritical("NASA", "ask NASA"));
    EXPECT_FALSE(isCritical("A", "A day"));  // one letter is no acronym, and it only opens the text
    EXPECT_TRUE(isCritical("me@x", "mail me@x"));
    EXPECT_TRUE(isCritical("http://x", "see http://x"));
    EXPECT_TRUE(isCritical("extraordinary", "an extraordinary day"));
    EXPECT_FALSE(isCritical("ordinary", "an ordinary day"));
    EXPECT_FALSE(isCritical("Anna", "Anna said hi"));   // only opens the text
    EXPECT_TRUE(isCritical("Anna", "I told Anna"));     // a name inside the text
    EXPECT_TRUE(isCritical("Zed", "nothing like it"));  // not in the text at all
    EXPECT_FALSE(isCritical("word", "a word"));
    EXPECT_FALSE(isCritical("two words", "two words"));
}

TEST(ConfidenceLens, DebugTraceIsWrittenOnlyWhenTheVariableIsOne) {
    ::setenv("VESK_DEBUG_CONFIDENCE", "1", 1);
    testing::internal::CaptureStderr();
    referenceIssues();
    const std::string traced = testing::internal::GetCapturedStderr();
    ::setenv("VESK_DEBUG_CONFIDENCE", "true", 1);
    testing::internal::CaptureStderr();
    referenceIssues();
    const std::string silent = testing::internal::GetCapturedStderr();
    ::unsetenv("VESK_DEBUG_CONFIDENCE");
    EXPECT_EQ(traced,
              "CONFIDENCE: \"Send 5 files to Bjorn\" confidence=0.42 alternatives=Send 5 files to Bjørn. | Send 5 "
              "files to Bjarn.\n");
    EXPECT_EQ(silent, "");
}

}  // namespace
}  // namespace vesk::ConfidenceLens

#include "text/ConfidenceLens.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

namespace vesk::ConfidenceLens {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Issues = std::vector<ConfidenceIssue>;

Issues referenceIssues() {
    return candidates({{"Send 5 files to Bjorn.", 0.42}}, {"Send 5 files to Bjørn.", "Send 5 files to Bjarn."});
}

// A transcript whose only scored run is `word`, preceded by unscored text.
std::vector<TranscriptRun> scored(std::string before, std::string word, double confidence) {
    return {{std::move(before), std::nullopt}, {std::move(word), confidence}};
}

TEST(ConfidenceLens, ReferenceSegmentGivesOneCriticalIssueAndMergesKeepTheMostUrgentReport) {
    const auto issues = referenceIssues();
    EXPECT_EQ(issues, (Issues{{"0-bjorn", "Bjorn", {"Bjørn", "Bjarn"}, 0.42, true}}));
    // Four copies of it merge into the same issue once.
    EXPECT_EQ(merge({issues, issues, issues, issues}), issues);
    EXPECT_EQ(merge({issues}), issues);
    EXPECT_THAT(merge({}), IsEmpty());
    // The same word from several segments is reported once, under the most urgent report.
    const Issues first{{"0-bjorn", "Bjorn", {"Bjørn"}, 0.4, true}};
    // 0.84 is more urgent than 0.7: the first report keeps the word.
    EXPECT_EQ(merge({first, {{"0-bjorn", "bjorn.", {"Bjarn", "Björn"}, 0.3, false}}}),
              (Issues{{"0-bjorn", "Bjorn", {"Bjørn", "Bjarn"}, 0.4, true}}));
    // A strictly more urgent later report takes over the word and its confidence; "Bjørn"
    // is now the heard word, and a merged word is never its own alternative.
    EXPECT_EQ(merge({first, {{"0-bjørn", "Bjørn", {"Bjarne"}, 0.05, true}}}),
              (Issues{{"0-bjorn", "Bjørn", {"Bjarne"}, 0.05, true}}));
    EXPECT_EQ(
        merge({{{"0-bjorn", "Bjorn", {"Bjarn"}, 0.2, true}}, {{"0-bjorn", "bjørn", {"Bjorn", "Björn"}, 0.6, false}}}),
        (Issues{{"0-bjorn", "Bjorn", {"Bjarn", "Björn"}, 0.2, true}}));
}

TEST(ConfidenceLens, ReportsUncertainShortRunsWithTheirOwnAlternatives) {
    const struct {
        std::vector<TranscriptRun> runs;
        std::vector<std::string> alternatives;
        Issues expected;
    } rows[] = {
        // Thresholds are exclusive: an ordinary word is reported below 0.72 only, a name
        // inside the text is critical and reported below 0.88.
        {scored("please send the ", "report", 0.72), {}, {}},
        {scored("please send the ", "report", 0.7199), {}, {{"0-report", "report", {}, 0.7199, false}}},
        {scored("please send the ", "report", 0.80), {}, {}},
        {scored("please call ", "Anna", 0.80), {}, {{"0-anna", "Anna", {}, 0.80, true}}},
        {scored("please call ", "Anna", 0.88), {}, {}},
        {scored("please call ", "Anna", 0.8799), {}, {{"0-anna", "Anna", {}, 0.8799, true}}},
        // Unscored, blank or punctuation-only runs give nothing.
        {{{"   \n ", 0.1}}, {"anything"}, {}},
        {{}, {}, {}},
        {{{"call Bjorn", std::nullopt}}, {"call Bj\u00F8rn"}, {}},
        {{{"call ", std::nullopt}, {" ?! ", 0.1}}, {}, {}},
        // Alternatives that only differ in case, spacing or outer punctuation are ignored.
        {{{"send the report", 0.5}},
         {"  Send  the REPORT! ", "\n\t", ""},
         {{"0-send the report", "send the report", {}, 0.5, false}}},
        // Without alternatives, runs of five words or more are not reported.
        {{{"one two three four", 0.3}}, {}, {{"0-one two three four", "one two three four", {}, 0.3, false}}},
        {{{"one two three four five", 0.3}}, {}, {}},
        // Both words differ in the alternative; each run gets only its own spelling.
        {{{"meet ", std::nullopt}, {"Jon", 0.3}, {" at ", std::nullopt}, {"Kopenhagen", 0.99}},
         {"meet John at Copenhagen"},
         {{"0-jon", "Jon", {"John"}, 0.3, true}}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(candidates(rows[i].runs, rows[i].alternatives), rows[i].expected) << "row " << i;
}

TEST(ConfidenceLens, KeysFoldCaseAndDiacriticsButSpellingsOnlyCase) {
    EXPECT_EQ(reviewKey("  Bjørn. "), "bjorn");
    EXPECT_EQ(reviewKey("bjorn"), "bjorn");
    EXPECT_EQ(reviewKey("«Café  Crème»"), "cafe creme");
    EXPECT_EQ(spellingKey("Bjørn"), "bjørn");
    EXPECT_NE(spellingKey("Bjørn"), spellingKey("Bjorn"));
    EXPECT_EQ(reviewKey("..."), "");
    EXPECT_EQ(reviewKey("$5"), "$5");  // symbols are not punctuation
    // Alternatives drop the heard word in any case but keep other diacritics.
    EXPECT_THAT(unique({"Bjorn", " BJORN.", "Bjørn", "  ", "bjørn!", "Bjarn"}, "bjorn"), ElementsAre("Bjørn", "Bjarn"));
    EXPECT_THAT(unique({}, "x"), IsEmpty());
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
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"5", "send 5", true},
        {"NASA", "ask NASA", true},
        {"A", "A day", false},  // one letter is no acronym, and it only opens the text
        {"me@x", "mail me@x", true},
        {"http://x", "see http://x", true},
        {"extraordinary", "an extraordinary day", true},
        {"ordinary", "an ordinary day", false},
        {"Anna", "Anna said hi", false},   // only opens the text
        {"Anna", "I told Anna", true},     // a name inside the text
        {"Zed", "nothing like it", true},  // not in the text at all
        {"word", "a word", false},
        {"two words", "two words", false},
    };
    for (const auto& [word, text, critical] : cases)
        EXPECT_EQ(isCritical(word, text), critical) << word << " in " << text;
}

TEST(ConfidenceLens, DebugTraceIsWrittenOnlyWhenTheVariableIsOne) {
    const auto traceWith = [](const char* value) {
        ::setenv("VESK_DEBUG_CONFIDENCE", value, 1);
        testing::internal::CaptureStderr();
        referenceIssues();
        ::unsetenv("VESK_DEBUG_CONFIDENCE");
        return testing::internal::GetCapturedStderr();
    };
    EXPECT_EQ(traceWith("1"),
              "CONFIDENCE: \"Send 5 files to Bjorn\" confidence=0.42 alternatives=Send 5 files to Bjørn. | Send 5 "
              "files to Bjarn.\n");
    EXPECT_EQ(traceWith("true"), "");
}

}  // namespace
}  // namespace vesk::ConfidenceLens

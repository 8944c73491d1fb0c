#include "rewriting/PromptCoach.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vesk::PromptCoach {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kClarify =
    "\nIf a missing detail would materially change the answer, ask me one concise clarifying question first.";

TEST(PromptAssessment, WeakRequestScores55WithThreeSuggestionsAndAScaffold) {
    const PromptAssessment weak = assess("I need help with my launch");
    EXPECT_EQ(weak.original, "I need help with my launch");
    EXPECT_EQ(weak.score, 55);
    EXPECT_THAT(weak.suggestions, ElementsAre("Add the context ChatGPT needs to make a good decision.",
                                              "Mention any limits, priorities, or things to avoid.",
                                              "Say what the answer should look like."));
    EXPECT_EQ(weak.improved,
              std::string("I need help with my launch\n\nReturn a clear, actionable response.") + kClarify);
}

TEST(PromptAssessment, StrongRequestsAreDeliveredUnchanged) {
    const std::string strong =
        "Create a five-step launch plan for a Mac app. Keep it under 500 words and return a numbered list.";
    EXPECT_EQ(assess(strong).score, 85);
    EXPECT_THAT(assess(strong).suggestions, ElementsAre("Mention any limits, priorities, or things to avoid."));
    EXPECT_EQ(assess(strong).improved, strong);
    // Every signal present.
    const std::string full = "Write a summary of the meeting notes for the whole team and avoid any jargon in it";
    EXPECT_EQ(assess(full).score, 100);
    EXPECT_THAT(assess(full).suggestions, IsEmpty());
    EXPECT_EQ(assess(full).improved, full);
}

TEST(PromptAssessment, EmptyTextScores25WithEverySuggestionAndNoText) {
    for (const char* text : {"", "  \n\t "}) {
        const PromptAssessment empty = assess(text);
        EXPECT_EQ(empty.original, "");
        EXPECT_EQ(empty.improved, "");
        EXPECT_EQ(empty.score, 25);
        EXPECT_EQ(empty.suggestions.size(), 4u);
        EXPECT_EQ(empty.suggestions.front(), "State the specific outcome you want.");
    }
}

TEST(PromptAssessment, RequestWithoutGoalGetsTheHelpPreamble) {
    const PromptAssessment planet = assess("  The planet is warm  ");
    EXPECT_EQ(planet.original, "The planet is warm");  // "planet" is not the goal "plan"
    EXPECT_EQ(planet.score, 25);
    EXPECT_EQ(planet.improved, std::string("Please help me with the following:\n\nThe planet is warm\n\n"
                                           "Return a clear, actionable response.") +
                                   kClarify);
}

TEST(PromptAssessment, SignalsAddUpToTheirWeights) {
    EXPECT_EQ(assess("Is this right?").score, 55);  // a question mark alone is a goal
    EXPECT_EQ(assess("we should go").score, 70);    // "should" is a goal and a constraint
    EXPECT_EQ(assess("do not touch it").score, 40);
    EXPECT_EQ(assess("a table").score, 35);
    EXPECT_EQ(assess("one two three four five six seven eight nine ten eleven twelve").score, 45);
    EXPECT_EQ(assess("one two three four five six seven eight nine ten eleven").score, 25);
}

TEST(PromptAssessment, TermsMatchWholeWordsAndPhrasesInLowerCaseText) {
    EXPECT_TRUE(containsAny(constraintTerms, "please do not call"));
    EXPECT_FALSE(containsAny(constraintTerms, "please do nothing"));
    EXPECT_TRUE(containsAny(constraintTerms, "i don't mind"));
    EXPECT_FALSE(containsAny(goalTerms, "planet earth"));
    EXPECT_FALSE(containsAny(goalTerms, "HELP"));  // callers lower-case first
    EXPECT_TRUE(containsAny(goalTerms, "help!"));
}

}  // namespace
}  // namespace vesk::PromptCoach

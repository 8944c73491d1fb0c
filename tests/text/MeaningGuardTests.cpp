#include "text/MeaningGuard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vesk::MeaningGuard {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kOriginal = "Tell Bjørn Vandrel not to spend $1,250 on Tuesday.";

TEST(MeaningGuard, ListsTheDetailsOfTheReferenceSentenceInPatternOrder) {
    // The amount, the weekday, then the two names; "Tell" opens the text and "Tuesday"
    // found again as a name is a duplicate.
    EXPECT_THAT(protectedDetails(kOriginal), ElementsAre("$1,250", "Tuesday", "Bjørn", "Vandrel"));
}

TEST(MeaningGuard, JudgesTheThreeReferenceRewrites) {
    EXPECT_THAT(missingDetails(kOriginal, "Ask Bjørn Vandrel not to spend $1,250 on Tuesday."), IsEmpty());
    EXPECT_THAT(missingDetails(kOriginal, "Ask the team to spend money this week."),
                ElementsAre("$1,250", "Tuesday", "Bjørn", "Vandrel", "negation"));
    EXPECT_THAT(missingDetails(kOriginal, "Ask Bjorn Vandrel not to spend $1,250 on Tuesday."), ElementsAre("Bjørn"));
}

TEST(MeaningGuard, CapitalisedWordsAfterSentenceEndsAreNotNames) {
    EXPECT_THAT(protectedDetails("Done. Maria called! Again? Sure"), IsEmpty());
    EXPECT_THAT(protectedDetails("Done, Maria called"), ElementsAre("Maria"));
    // A line break alone does not end a sentence.
    EXPECT_THAT(protectedDetails("done\nMaria called"), ElementsAre("Maria"));
    // A capitalised run may span the line break, and then each word counts too.
    EXPECT_THAT(protectedDetails("Done\nMaria called"), ElementsAre("Done\nMaria", "Maria"));
    // Two letters are not enough for a name.
    EXPECT_THAT(protectedDetails("ask Al"), IsEmpty());
}

TEST(MeaningGuard, FindsAddressesAcronymsMonthsAndNameRuns) {
    EXPECT_THAT(protectedDetails("Email anna@example.com or see https://example.com/docs today"),
                ElementsAre("https://example.com/docs", "anna@example.com"));
    EXPECT_THAT(protectedDetails("ship the API docs in March, ask QA."), ElementsAre("API", "QA", "March"));
    // A run of capitalised words and each of its words are different details.
    EXPECT_THAT(protectedDetails("we met John Smith there"), ElementsAre("John Smith", "John", "Smith"));
    EXPECT_THAT(protectedDetails("visit WWW.Example.org/a?b=1 now"),
                ElementsAre("WWW.Example.org/a?b=1", "1", "WWW"));  // ".E" reads as a sentence start
}

TEST(MeaningGuard, DuplicatesCollapseByComparisonFormKeepingTheFirstSpelling) {
    EXPECT_THAT(protectedDetails("call 555-1234 or 5551234 at 10:30"), ElementsAre("555-1234", "10:30"));
    EXPECT_EQ(comparisonForm("$1,250 On TUESDAY!"), "1250ontuesday");
    EXPECT_EQ(comparisonForm("Straße"), "strasse");
    EXPECT_EQ(comparisonForm("Bjørn"), "bjørn");
}

TEST(MeaningGuard, PresenceIgnoresSpacingPunctuationAndCaseButNotDiacritics) {
    EXPECT_THAT(missingDetails("Budget $1,250 by Tuesday, ask Bjørn", "budget: 1250 dollars by tuesday; ask bjørn"),
                IsEmpty());
    EXPECT_THAT(missingDetails("ask Zoë today", "ask Zoe today"), ElementsAre("Zoë"));
    // Run-together letters elsewhere in the rewrite still count as present.
    EXPECT_THAT(missingDetails("meet at 12", "meet at 1 2"), IsEmpty());
}

TEST(MeaningGuard, NegationFollowsWholeWordsAndStraightApostropheContractions) {
    for (const char* text : {"I don't know", "There is NO way", "ship it without tests", "never again", "it won't fit",
                             "I can't attend", "I cannot attend"})  // "can't" becomes "cannot", which still negates
        EXPECT_TRUE(containsNegation(text)) << text;
    // Only the straight apostrophe expands; "don’t" has no whole word "not".
    for (const char* text : {"I know", "nobody knows", "I don\u2019t know"})
        EXPECT_FALSE(containsNegation(text)) << text;
    // A lost negation is reported only when the original had one.
    EXPECT_THAT(missingDetails("do not email the team", "email the team"), ElementsAre("negation"));
    EXPECT_THAT(missingDetails("I can't attend", "I can attend"), ElementsAre("negation"));
    EXPECT_THAT(missingDetails("email the team", "never email the team"), IsEmpty());
    EXPECT_THAT(missingDetails("don't email", "do not email"), IsEmpty());
    // Empty and detail-free texts have nothing to protect.
    EXPECT_THAT(protectedDetails(""), IsEmpty());
    EXPECT_THAT(missingDetails("", ""), IsEmpty());
    EXPECT_THAT(missingDetails("make it shorter", ""), IsEmpty());
}

}  // namespace
}  // namespace vesk::MeaningGuard

#include "text/MeaningGuard.h"

#include <gtest/gtest.h>

namespace vesk::MeaningGuard {
namespace {

using Details = std::vector<std::string>;

const char* const kOriginal = "Tell Bjørn Vandrel not to spend $1,250 on Tuesday.";

TEST(MeaningGuard, ListsTheDetailsOfATextInPatternOrderOnce) {
    const std::pair<const char*, Details> cases[] = {
        // The amount, the weekday, then the two names; "Tell" opens the text and "Tuesday"
        // found again as a name is a duplicate.
        {kOriginal, {"$1,250", "Tuesday", "Bjørn", "Vandrel"}},
        // Capitalised words after sentence ends are not names; a line break alone does not
        // end a sentence, and a capitalised run may span it, each of its words counting too.
        {"Done. Maria called! Again? Sure", {}},
        {"Done, Maria called", {"Maria"}},
        {"done\nMaria called", {"Maria"}},
        {"Done\nMaria called", {"Done\nMaria", "Maria"}},
        {"ask Al", {}},  // two letters are not enough for a name
        // Addresses, acronyms, months, and name runs with each of their words.
        {"Email anna@example.com or see https://example.com/docs today",
         {"https://example.com/docs", "anna@example.com"}},
        {"ship the API docs in March, ask QA.", {"API", "QA", "March"}},
        {"we met John Smith there", {"John Smith", "John", "Smith"}},
        {"visit WWW.Example.org/a?b=1 now", {"WWW.Example.org/a?b=1", "1", "WWW"}},  // ".E" reads as a sentence start
        // Duplicates collapse by comparison form, keeping the first spelling.
        {"call 555-1234 or 5551234 at 10:30", {"555-1234", "10:30"}},
        {"", {}},
    };
    for (const auto& [text, details] : cases) EXPECT_EQ(protectedDetails(text), details) << text;
    EXPECT_EQ(comparisonForm("$1,250 On TUESDAY!"), "1250ontuesday");
    EXPECT_EQ(comparisonForm("Straße"), "strasse");
    EXPECT_EQ(comparisonForm("Bjørn"), "bjørn");
}

TEST(MeaningGuard, ReportsWhatARewriteLost) {
    const std::tuple<const char*, const char*, Details> cases[] = {
        // The three reference rewrites.
        {kOriginal, "Ask Bjørn Vandrel not to spend $1,250 on Tuesday.", {}},
        {kOriginal, "Ask the team to spend money this week.", {"$1,250", "Tuesday", "Bjørn", "Vandrel", "negation"}},
        {kOriginal, "Ask Bjorn Vandrel not to spend $1,250 on Tuesday.", {"Bjørn"}},
        // Presence ignores spacing, punctuation and case but not diacritics; run-together
        // letters elsewhere in the rewrite still count as present.
        {"Budget $1,250 by Tuesday, ask Bjørn", "budget: 1250 dollars by tuesday; ask bjørn", {}},
        {"ask Zoë today", "ask Zoe today", {"Zoë"}},
        {"meet at 12", "meet at 1 2", {}},
        // A lost negation is reported only when the original had one.
        {"do not email the team", "email the team", {"negation"}},
        {"I can't attend", "I can attend", {"negation"}},
        {"email the team", "never email the team", {}},
        {"don't email", "do not email", {}},
        // Empty and detail-free texts have nothing to protect.
        {"", "", {}},
        {"make it shorter", "", {}},
    };
    for (const auto& [original, rewritten, lost] : cases)
        EXPECT_EQ(missingDetails(original, rewritten), lost) << original << " -> " << rewritten;
}

TEST(MeaningGuard, NegationFollowsWholeWordsAndStraightApostropheContractions) {
    for (const char* text : {"I don't know", "There is NO way", "ship it without tests", "never again", "it won't fit",
                             "I can't attend", "I cannot attend"})  // "can't" becomes "cannot", which still negates
        EXPECT_TRUE(containsNegation(text)) << text;
    // Only the straight apostrophe expands; "don’t" has no whole word "not".
    for (const char* text : {"I know", "nobody knows", "I don\u2019t know"})
        EXPECT_FALSE(containsNegation(text)) << text;
}

}  // namespace
}  // namespace vesk::MeaningGuard

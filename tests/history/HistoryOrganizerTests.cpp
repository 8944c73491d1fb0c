#include "history/HistoryOrganizer.h"

#include "core/Uuid.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vesk::HistoryOrganizer {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

HistoryEntry entry(std::string transcript, std::string rendered, double unixSeconds) {
    return {makeUuid(),   std::move(transcript), std::move(rendered), historyDateFromUnixSeconds(unixSeconds),
            std::nullopt, OutputMode::prompt};
}

HistoryEntry rendered(std::string text) { return entry("", std::move(text), 0); }

TEST(HistoryOrganizer, GroupsTheReferenceEntriesIntoTwoTitledProjects) {
    const std::vector<HistoryEntry> entries{
        entry("Please create a Project Vesk history workspace.", "Create a Project Vesk history workspace.", 600),
        entry("Remove the lock icons from the history list.", "Remove lock icons from the history list.", 300),
        entry("Draft an unrelated grocery list.", "Draft an unrelated grocery list.", -7200),
    };
    const auto result = projects(entries);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].id, entries[0].id);
    EXPECT_EQ(result[0].title, "Project Vesk history workspace");
    EXPECT_THAT(result[0].entries, ElementsAre(entries[0], entries[1]));
    EXPECT_EQ(result[1].title, "Draft an unrelated grocery list");
    EXPECT_THAT(result[1].entries, ElementsAre(entries[2]));
}

TEST(HistoryOrganizer, SortsByDateNewestFirstKeepingTheOrderOfEqualDates) {
    const auto a = entry("alpha", "Alpha", 100);
    const auto b = entry("beta", "Beta", 100);
    const auto c = entry("gamma", "Gamma", 99999);
    const auto result = projects({a, b, c});
    ASSERT_EQ(result.size(), 2u);
    EXPECT_THAT(result[0].entries, ElementsAre(c));
    EXPECT_THAT(result[1].entries, ElementsAre(a, b));
    EXPECT_TRUE(projects({}).empty());
    // Only the group being built is considered: an unrelated entry between two alike ones
    // splits them.
    EXPECT_EQ(projects({entry("kitchen renovation budget", "kitchen renovation budget", 7200),
                        entry("unrelated", "unrelated", 3600),
                        entry("kitchen renovation budget", "kitchen renovation budget", 1800)})
                  .size(),
              3u);
    // The gap is measured from the group's oldest member.
    EXPECT_EQ(projects({entry("a", "a", 1400), entry("b", "b", 700), entry("c", "c", 0)}).size(), 1u);
}

// Whether an older entry joins a group: time gaps decide before shared topics.
TEST(HistoryOrganizer, BelongsByTimeGapThenByTopicOverlap) {
    const auto login = entry("Fix the login button color.", "Fix the login button color.", 1800);
    const auto ten = entry("alpha bravo charlie delta echo foxtrot golf hotel india juliet", "", 1800);
    const auto taxes = entry("quarterly taxes", "quarterly taxes", 13 * 60);
    const struct {
        HistoryEntry candidate, group;
        bool joins;
    } rows[] = {
        {entry("Change login button size.", "Change login button size.", 0), login, true},
        // Two of the candidate's eight keywords shared is 0.25, below the ratio; three is 0.375.
        {entry("alpha bravo kilo lima mike november oscar papa", "", 0), ten, false},
        {entry("alpha bravo charlie lima mike november oscar papa", "", 0), ten, true},
        {entry("alpha", "", 0), ten, false},  // one shared keyword is never enough
        {entry("garden hose", "garden hose", 0), taxes, false},
        {entry("garden hose", "garden hose", 60), taxes, true},  // 12 minutes: always
        // Beyond 90 minutes even the same words do not join.
        {entry("quarterly taxes", "quarterly taxes", 13 * 60 - 5401), taxes, false},
        {entry("quarterly taxes", "quarterly taxes", 13 * 60 - 5400), taxes, true},
        // Stop words and short words are no topic.
        {entry("please the and", "you it", 0), entry("please the and", "you it", 1800), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(belongs(row.candidate, {row.group}), row.joins)
            << row.candidate.transcript << " at " << row.candidate.date << " / " << row.group.transcript;
    EXPECT_FALSE(belongs(taxes, {}));
    EXPECT_THAT(keywords(login), UnorderedElementsAre("fix", "login", "button", "color"));
    // Keywords are the lower-cased words of any script.
    EXPECT_THAT(keywords(entry("Über-Größe naïve café, and the ZOË!", "数据库 ab 123 1234", 0)),
                UnorderedElementsAre("über", "größe", "naïve", "café", "zoë", "数据库", "123", "1234"));
    EXPECT_EQ(keywords(ten).size(), 10u);
    EXPECT_EQ(keywords(rows[1].candidate).size(), 8u);
    EXPECT_EQ(projects({login, rows[0].candidate}).size(), 1u);
}

TEST(HistoryOrganizer, TitlesDropRequestPhrasingAndKeepTheFirstSentence) {
    const std::pair<const char*, const char*> cases[] = {
        {"please help me with the invoice. Then email it", "With the invoice"},
        {"I'd like to draft a very long sentence with many more words than seven",
         "Draft a very long sentence with many"},
        {"Create a", "Create a"},
        {"Create an app", "App"},  // "create a" needs a space after it
        {"Use e.g. this", "Use e"},
        {"  Could you please\n\n  sort   these\tfiles?  ", "Sort these files"},
        {"\u00DFtrasse ist lang", "SStrasse ist lang"},
        {"\u00BFqu\u00E9 tal?", "Qu\u00E9 tal"},
        // Nothing left: untitled.
        {"...", "Untitled recording"},
        {"   \n ", "Untitled recording"},
        {"", "Untitled recording"},
        {"Please create .", "Untitled recording"},
    };
    for (const auto& [text, title] : cases) EXPECT_EQ(entryTitle(rendered(text)), title) << text;
    // The transcript is never used for the title.
    EXPECT_EQ(entryTitle(entry("spoken words", "", 0)), "Untitled recording");
}

}  // namespace
}  // namespace vesk::HistoryOrganizer

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
}

TEST(HistoryOrganizer, SharedTopicJoinsEntriesWithinNinetyMinutes) {
    const auto newer = entry("Fix the login button color.", "Fix the login button color.", 1800);
    const auto older = entry("Change login button size.", "Change login button size.", 0);
    EXPECT_THAT(keywords(newer), UnorderedElementsAre("fix", "login", "button", "color"));
    EXPECT_TRUE(belongs(older, {newer}));
    EXPECT_EQ(projects({newer, older}).size(), 1u);
}

TEST(HistoryOrganizer, OverlapBelowTheRatioStartsANewProject) {
    // A group with ten keywords and an entry with eight, two of them shared: 2/8 = 0.25.
    const auto group = entry("alpha bravo charlie delta echo foxtrot golf hotel india juliet", "", 1800);
    const auto candidate = entry("alpha bravo kilo lima mike november oscar papa", "", 0);
    EXPECT_EQ(keywords(group).size(), 10u);
    EXPECT_EQ(keywords(candidate).size(), 8u);
    EXPECT_FALSE(belongs(candidate, {group}));
    // Three shared of eight is 0.375: it belongs.
    EXPECT_TRUE(belongs(entry("alpha bravo charlie lima mike november oscar papa", "", 0), {group}));
    // One shared keyword is never enough, whatever the ratio.
    EXPECT_FALSE(belongs(entry("alpha", "", 0), {group}));
}

TEST(HistoryOrganizer, TimeGapsDecideBeforeTopics) {
    const auto newer = entry("quarterly taxes", "quarterly taxes", 13 * 60);
    EXPECT_FALSE(belongs(entry("garden hose", "garden hose", 0), {newer}));
    EXPECT_TRUE(belongs(entry("garden hose", "garden hose", 60), {newer}));  // 12 minutes: always
    // Beyond 90 minutes even the same words do not join.
    EXPECT_FALSE(belongs(entry("quarterly taxes", "quarterly taxes", 13 * 60 - 5401), {newer}));
    EXPECT_TRUE(belongs(entry("quarterly taxes", "quarterly taxes", 13 * 60 - 5400), {newer}));
    EXPECT_FALSE(belongs(newer, {}));
    // Stop words and short words are no topic.
    EXPECT_FALSE(belongs(entry("please the and", "you it", 0), {entry("please the and", "you it", 1800)}));
}

TEST(HistoryOrganizer, OnlyTheGroupBeingBuiltIsConsidered) {
    const auto first = entry("kitchen renovation budget", "kitchen renovation budget", 7200);
    const auto second = entry("unrelated", "unrelated", 3600);
    const auto third = entry("kitchen renovation budget", "kitchen renovation budget", 1800);
    const auto result = projects({first, second, third});
    ASSERT_EQ(result.size(), 3u);
    // The gap is measured from the group's oldest member.
    const auto chain = projects({entry("a", "a", 1400), entry("b", "b", 700), entry("c", "c", 0)});
    EXPECT_EQ(chain.size(), 1u);
}

TEST(HistoryOrganizer, KeywordsAreLowerCasedWordsOfAnyScript) {
    EXPECT_THAT(keywords(entry("Über-Größe naïve café, and the ZOË!", "数据库 ab 123 1234", 0)),
                UnorderedElementsAre("über", "größe", "naïve", "café", "zoë", "数据库", "123", "1234"));
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

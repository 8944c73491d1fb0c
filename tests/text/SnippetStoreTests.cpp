#include "support/TestEnvironment.h"
#include "text/SnippetStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vesk {
namespace {

std::string snippetsJson(const std::vector<std::pair<std::string, std::string>>& pairs) {
    auto document = nlohmann::json::array();
    int n = 0;
    for (const auto& [trigger, expansion] : pairs) {
        char id[37];
        std::snprintf(id, sizeof id, "6BA7B810-9DAD-41D1-80B4-%012d", n++);
        document.push_back({{"id", id}, {"trigger", trigger}, {"expansion", expansion}});
    }
    return document.dump();
}

TEST(SnippetStore, ReplacesWholeTriggersWithTheExpansionExactlyAsStored) {
    test::ScratchHome home;
    home.writeSupportFile("snippets.json", snippetsJson({{"my sig", "Kind regards and thanks"},
                                                         {"price tag", "costs $1 (\\1) \u2014 see \u00F8"},
                                                         {"sign off", "cheers,\nann"}}));
    EXPECT_EQ(SnippetStore::expand("Thanks. My sig"), "Thanks. Kind regards and thanks");
    EXPECT_EQ(SnippetStore::expand("check my signal"), "check my signal");
    EXPECT_EQ(SnippetStore::expand("MY SIG, my sig."), "Kind regards and thanks, Kind regards and thanks.");
    EXPECT_EQ(SnippetStore::expand("Price tag. Sign off"), "costs $1 (\\1) \u2014 see \u00F8. cheers,\nann");
}

TEST(SnippetStore, LongerTriggersGoFirstTrimmedBlankOnesSkippedBeyondAscii) {
    const std::vector<Snippet> addresses{
        {"", "addr", "1 Main St"}, {"", "  home addr\t", "22 Elm Rd"}, {"", " \t\u3000", "NEVER"}, {"", "", "NEVER"}};
    // The length that orders them is the stored one, surrounding spaces included.
    const std::vector<Snippet> padded{{"", "home addr", "22 Elm Rd"}, {"", "addr      ", "1 Main St"}};
    const std::vector<Snippet> scripts{{"", "stra\u00DFe", "Street"},
                                       {"", "\u043F\u0440\u0438\u0432\u0435\u0442", "hello"},
                                       {"", "\U0001F600 sig", "smiley"}};
    const std::tuple<const std::vector<Snippet>&, const char*, const char*> cases[] = {
        {addresses, "send my home addr and addr", "send my 22 Elm Rd and 1 Main St"},
        {addresses, "two words", "two words"},
        {padded, "send my home addr", "send my home 1 Main St"},
        {scripts, "stra\u00DFe", "Street"},
        {scripts, "STRASSE and stra\u00DFe", "Street and Street"},
        {scripts, "\u041F\u0420\u0418\u0412\u0415\u0422 world", "hello world"},
        // No word boundary in front of an emoji: the trigger cannot match there.
        {scripts, "x \U0001F600 sig", "x \U0001F600 sig"},
    };
    for (const auto& [snippets, text, expected] : cases)
        EXPECT_EQ(SnippetStore::expand(text, snippets), expected) << text;
}

TEST(SnippetStore, BadFilesLeaveTheTextAsItIs) {
    test::ScratchHome home;
    EXPECT_EQ(SnippetStore::expand("my sig"), "my sig");  // missing
    const std::string bad[] = {
        R"({"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig", "expansion": "X"})",
        R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig"}])",
        R"([{"id": "nope", "trigger": "my sig", "expansion": "X"}])",
        R"([{"trigger": "my sig", "expansion": "X"}])",
        R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": ["my sig"], "expansion": "X"}])",
        R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig", "expansion": "X"},)",
        R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig", "expansion": "X"}, 3])",
        std::string(5 << 20, '['),
        "[\"\xFF\"]",
    };
    for (const std::string& contents : bad) {
        home.writeSupportFile("snippets.json", contents);
        EXPECT_EQ(SnippetStore::expand("my sig"), "my sig") << contents.substr(0, 80);
        EXPECT_FALSE(SnippetStore::load()) << contents.substr(0, 80);
        EXPECT_EQ(home.readSupportFile("snippets.json"), contents) << "the file is only read";
    }
}

TEST(SnippetStore, ReadsLowerCaseIdsAndManySnippets) {
    test::ScratchHome home;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < 20'000; ++i)
        pairs.emplace_back("trigger" + std::to_string(i), "expansion " + std::to_string(i));
    home.writeSupportFile("snippets.json", snippetsJson(pairs));
    EXPECT_EQ(SnippetStore::expand("trigger7 trigger19999"), "expansion 7 expansion 19999");

    home.writeSupportFile(
        "snippets.json",
        R"([{"id": "6ba7b810-9dad-41d1-80b4-00c04fd430c8", "trigger": "x y", "expansion": "Z", "n": 1}])");
    const auto snippets = SnippetStore::load();
    ASSERT_TRUE(snippets);
    ASSERT_EQ(snippets->size(), 1u);
    EXPECT_EQ(snippets->front(), (Snippet{"6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "x y", "Z"}));
}

}  // namespace
}  // namespace vesk

#include "support/TestEnvironment.h"
#include "text/LearnedStore.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>

namespace vesk {
namespace {

namespace fs = std::filesystem;

// --- The word diff ---

struct DiffCase {
    const char* original;
    const char* corrected;
    std::vector<CorrectionPair> expected;
};

TEST(LearnedStore, DiffFindsTheReplacedRunsAndStaysBoundedOnLongTexts) {
    const DiffCase cases[] = {
        {"Send it to Bjorn today.", "Send it to Bj\u00F8rn today.", {{"Bjorn", "Bj\u00F8rn"}}},
        {"The data base pipeline is fast.", "The Database pipeline is fast.", {{"data base", "Database"}}},
        {"Hello world.", "Hello world.", {}},
        {"I met bj orn and Anna.", "I met Bj\u00F8rn and Anna.", {{"bj orn", "Bj\u00F8rn"}}},
        {"Send 5 files to Bjorn.", "Send 5 files to Bj\u00F8rn.", {{"Bjorn", "Bj\u00F8rn"}}},
        // Every replaced run of one to four words on each side, in text order.
        {"ask jason about cube cuttle today",
         "ask JSON about kubectl today",
         {{"jason", "JSON"}, {"cube cuttle", "kubectl"}}},
        {"one two three four five", "one 2 3 4 5", {{"two three four five", "2 3 4 5"}}},
        // Five words on one side, a pure insertion or deletion: nothing.
        {"call me tomorrow", "call the office in the morning", {}},
        {"please send it now", "please send now", {}},
        {"please send now", "please send it now", {}},
        // Only the case or the surrounding punctuation changed: not a useful mapping.
        {"hello world", "Hello World!", {}},
        {"a b", "a c", {}},  // a one-character heard form is not stored
        {"", "something", {}},
        {"   ", "", {}},
        // Beyond ASCII: Cyrillic, an emoji, a combining mark.
        {"\u043C\u043E\u0441\u043A\u0432\u0430 rocks \U0001F600",
         "\u041C\u043E\u0441\u043A\u0432\u0430 rules \U0001F600",
         {{"rocks", "rules"}}},
        {"meet at the cafe now", "meet at the cafe\u0301 now", {{"cafe", "cafe\u0301"}}}};
    for (const auto& [original, corrected, expected] : cases)
        EXPECT_EQ(LearnedStore::extractCorrections(original, corrected), expected) << original << " / " << corrected;

    // A correction near the end of a long transcript is still found.
    std::string common;
    for (int i = 0; i < 20'000; ++i) common += "word" + std::to_string(i % 97) + " ";
    EXPECT_EQ(LearnedStore::extractCorrections(common + "send to Bjorn", common + "send to Bj\u00F8rn"),
              (std::vector<CorrectionPair>{{"Bjorn", "Bj\u00F8rn"}}));
    // Two long texts with nothing in common ask for more memory than a diff may take.
    std::string left, right;
    for (int i = 0; i < 20'000; ++i) {
        left += "a" + std::to_string(i) + " ";
        right += "b" + std::to_string(i) + " ";
    }
    EXPECT_TRUE(LearnedStore::extractCorrections(left, right).empty());
}

// --- The learned file ---

LearnedData fileData(const test::ScratchHome& home) {
    const auto data = LearnedStore::decode(home.readSupportFile("learned.json"));
    EXPECT_TRUE(data.has_value());
    return data.value_or(LearnedData{});
}

std::vector<fs::path> setAside(const test::ScratchHome& home) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(home.supportDirectory()))
        if (entry.path().filename().string().starts_with("learned.json.unreadable-")) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

TEST(LearnedStore, LearnsEachPairOnceAndTheRestAsTerms) {
    test::ScratchHome home;
    LearnedStore::add("  Bjorn. ", " Bj\u00F8rn\n");
    LearnedStore::add("BJORN", "Bj\u00F8rn");
    LearnedStore::add("bjorn", "Bjoern");
    // No useful mapping: one character heard, only the case differs, nothing heard once
    // the marks are trimmed, nothing intended at all.
    LearnedStore::add("a", "A");
    LearnedStore::add("kubectl", "KUBECTL");
    LearnedStore::add("...", "Vesk");
    LearnedStore::add("thing", "   ");
    // Terms are kept once, ignoring case, in their first spelling.
    LearnedStore::addTerm(" Kubernetes ");
    LearnedStore::addTerm("kubernetes");
    LearnedStore::addTerm("\n\t");
    LearnedStore::addTerm("\u00D8RESUND");
    LearnedStore::addTerm("\u00F8resund");
    const LearnedData data = fileData(home);
    ASSERT_EQ(data.corrections.size(), 2u);
    EXPECT_EQ(data.corrections[0], (LearnedCorrection{data.corrections[0].id, "Bjorn", "Bj\u00F8rn", 2}));
    EXPECT_EQ(data.corrections[1], (LearnedCorrection{data.corrections[1].id, "bjorn", "Bjoern", 1}));
    EXPECT_NE(data.corrections[0].id, data.corrections[1].id);
    EXPECT_EQ(data.terms,
              (std::vector<std::string>{"Bj\u00F8rn", "Bjoern", "A", "KUBECTL", "Vesk", "Kubernetes", "\u00D8RESUND"}));
}

TEST(LearnedStore, ReadsHugeFilesInFullAndKeepsTheNewest300OfAListItGrows) {
    test::ScratchHome home;
    LearnedData big;
    for (int i = 0; i < 20'000; ++i) {
        big.corrections.push_back({"", "heard" + std::to_string(i), "intended" + std::to_string(i), 1});
        big.terms.push_back("term" + std::to_string(i));
    }
    ASSERT_TRUE(LearnedStore::save(big));
    EXPECT_GT(fs::file_size(LearnedStore::filePath()), 1u << 20);
    EXPECT_EQ(LearnedStore::apply("heard7 and heard19999"), "intended7 and intended19999");

    LearnedStore::addTerm("term20000");
    LearnedData saved = fileData(home);
    ASSERT_EQ(saved.terms.size(), 300u);
    EXPECT_EQ(saved.terms.front(), "term19701");
    EXPECT_EQ(saved.terms.back(), "term20000");

    LearnedStore::add("heard20000", "intended20000");
    saved = fileData(home);
    ASSERT_EQ(saved.corrections.size(), 300u);
    EXPECT_EQ(saved.corrections.front().heard, "heard19701");
    EXPECT_EQ(saved.corrections.back().heard, "heard20000");
    EXPECT_EQ(saved.terms.front(), "term19702");
    EXPECT_EQ(saved.terms.back(), "intended20000");
}

TEST(LearnedStore, AppliesLongerHeardFormsFirstAsWholeWordsLiterally) {
    test::ScratchHome home;
    EXPECT_EQ(LearnedStore::apply("no file \xFF"), "no file \xFF");  // nothing learned: untouched
    // Pairs that differ only in case are never learned by `add`, but a file may hold them.
    // Equal lengths keep the file's order: the first of two rules for one word wins.
    LearnedData data;
    data.corrections = {{"", "york", "York", 1},
                        {"", "new york", "NYC", 1},
                        {"", "jason", "$1 \\JSON", 1},
                        {"", "colour", "color", 1},
                        {"", "colour", "Colour!", 1}};
    ASSERT_TRUE(LearnedStore::save(data));
    EXPECT_EQ(LearnedStore::apply("from NEW YORK to york, not yorkshire. Jason! colour"),
              "from NYC to York, not yorkshire. $1 \\JSON! color");
}

TEST(LearnedStore, BiasTermsGatherEverySourceOnceInOrder) {
    test::ScratchHome home;
    LearnedData data;
    data.terms = {"Vesk", "x", " spaced "};
    data.corrections = {{"", "jason", "JSON", 1}, {"", "vesk", "VESK", 3}};
    ASSERT_TRUE(LearnedStore::save(data));
    home.writeSupportFile("dictionary.json", R"({"k8s": "Kubernetes", "json": "json", "z": " "})");
    home.writeSupportFile("snippets.json",
                          R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig", "expansion": "x"},
                              {"id": "6ba7b811-9dad-41d1-80b4-00c04fd430c8", "trigger": "\t", "expansion": "y"}])");
    EXPECT_EQ(LearnedStore::biasTerms(), (std::vector<std::string>{"Vesk", "spaced", "JSON", "Kubernetes", "my sig"}));

    LearnedData many;
    for (int i = 0; i < 300; ++i) many.terms.push_back("term" + std::to_string(i));
    for (int i = 0; i < 50; ++i) many.corrections.push_back({"", "h" + std::to_string(i), "i" + std::to_string(i), 1});
    ASSERT_TRUE(LearnedStore::save(many));
    const auto terms = LearnedStore::biasTerms();
    ASSERT_EQ(terms.size(), 300u);
    EXPECT_EQ(terms.back(), "term299");
}

TEST(LearnedStore, ReadsLowerCaseIdsAndExtraMembersAndWritesCompactJsonWithUpperCaseIds) {
    test::ScratchHome home;
    home.writeSupportFile("learned.json", R"({"terms": [], "version": 2, "corrections": [
        {"timesSeen": 4, "intended": "JSON", "heard": "jason", "id": "6ba7b810-9dad-41d1-80b4-00c04fd430c8", "note": 1}]})");
    EXPECT_EQ(LearnedStore::apply("ask jason"), "ask JSON");
    LearnedStore::add("jason", "JSON");
    const std::string text = home.readSupportFile("learned.json");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(text),
              nlohmann::json::parse(R"({"corrections": [{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8",
                  "heard": "jason", "intended": "JSON", "timesSeen": 5}], "terms": ["JSON"]})"));
    LearnedStore::add("cube cuttle", "kubectl");
    EXPECT_TRUE(std::regex_match(fileData(home).corrections.at(1).id,
                                 std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
    EXPECT_TRUE(setAside(home).empty());
}

TEST(LearnedStore, DecodingIsStrictAboutMembersAndTypes) {
    const std::string id = "\"6BA7B810-9DAD-41D1-80B4-00C04FD430C8\"";
    const auto correction = [&](const std::string& members) {
        return R"({"terms": ["t"], "corrections": [{)" + members + "}]}";
    };
    EXPECT_TRUE(LearnedStore::decode(correction("\"id\":" + id + R"(,"heard":"a","intended":"b","timesSeen":-3)")));
    const std::string bad[] = {
        correction("\"id\":" + id + R"(,"heard":"a","intended":"b")"),
        correction("\"id\":" + id + R"(,"heard":"a","intended":"b","timesSeen":"1")"),
        correction("\"id\":" + id + R"(,"heard":"a","intended":"b","timesSeen":1.5)"),
        correction("\"id\":" + id + R"(,"heard":"a","intended":"b","timesSeen":9223372036854775808)"),
        correction(R"("id":"not-a-uuid","heard":"a","intended":"b","timesSeen":1)"),
        correction("\"id\":" + id + R"(,"heard":null,"intended":"b","timesSeen":1)"),
        R"({"corrections": []})",
        R"({"terms": []})",
        R"({"corrections": [], "terms": [1]})",
        R"({"corrections": {}, "terms": []})",
        R"({"corrections": [7], "terms": []})",
        R"([])",
        R"({"corrections": [], "terms": [])",
        "",
    };
    for (const std::string& document : bad) EXPECT_FALSE(LearnedStore::decode(document)) << document;
    LearnedData data;
    data.corrections = {{"6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "bj orn", "Bj\u00F8rn \U0001F600", 9'000'000'000}};
    data.terms = {"\u6771\u4EAC", "stra\u00DFe"};
    EXPECT_EQ(LearnedStore::decode(LearnedStore::encode(data)), data);
}

// Each damaged file reads as empty, is left alone by reading, and is moved aside byte for
// byte, beside the earlier ones, before the next save.
TEST(LearnedStore, UndecodableFilesReadEmptyAndAreMovedAsideBeforeASave) {
    test::ScratchHome home;
    const std::string damaged[] = {
        R"({"corrections": [{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "heard": "jason",)",
        "\xFF\xFE garbage",
        R"({"corrections": [)" + std::string(4 << 20, '['),
    };
    for (size_t i = 0; i < std::size(damaged); ++i) {
        SCOPED_TRACE(damaged[i].substr(0, 40));
        home.writeSupportFile("learned.json", damaged[i]);
        EXPECT_EQ(LearnedStore::apply("ask jason"), "ask jason");
        EXPECT_TRUE(LearnedStore::biasTerms().empty());
        EXPECT_EQ(setAside(home).size(), i) << "reading alone moves nothing";
        LearnedStore::add("cube cuttle", "kubectl");
        const auto aside = setAside(home);
        ASSERT_EQ(aside.size(), i + 1);
        EXPECT_EQ(
            std::count_if(aside.begin(), aside.end(),
                          [&](const fs::path& p) { return home.readSupportFile(p.filename().string()) == damaged[i]; }),
            1);
        const LearnedData data = fileData(home);
        ASSERT_EQ(data.corrections.size(), 1u);
        EXPECT_EQ(data.corrections[0].intended, "kubectl");
    }
}

TEST(LearnedStore, SaveRefusesToOverwriteWhatItCannotMoveAside) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    test::ScratchHome home;
    home.writeSupportFile("learned.json", "{broken");
    fs::permissions(home.supportDirectory(), fs::perms::owner_read | fs::perms::owner_exec);
    LearnedStore::add("jason", "JSON");
    fs::permissions(home.supportDirectory(), fs::perms::owner_all);
    EXPECT_EQ(home.readSupportFile("learned.json"), "{broken");
    EXPECT_TRUE(setAside(home).empty());
}

}  // namespace
}  // namespace vesk

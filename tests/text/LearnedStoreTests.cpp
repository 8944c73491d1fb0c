#include "support/TestEnvironment.h"
#include "text/LearnedStore.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <fstream>
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

class DiffTable : public testing::TestWithParam<DiffCase> {};

TEST_P(DiffTable, FindsTheReplacedRuns) {
    EXPECT_EQ(LearnedStore::extractCorrections(GetParam().original, GetParam().corrected), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    LearnedStore, DiffTable,
    testing::Values(
        DiffCase{"Send it to Bjorn today.", "Send it to Bj\u00F8rn today.", {{"Bjorn", "Bj\u00F8rn"}}},
        DiffCase{"The data base pipeline is fast.", "The Database pipeline is fast.", {{"data base", "Database"}}},
        DiffCase{"Hello world.", "Hello world.", {}},
        DiffCase{"I met bj orn and Anna.", "I met Bj\u00F8rn and Anna.", {{"bj orn", "Bj\u00F8rn"}}},
        DiffCase{"Send 5 files to Bjorn.", "Send 5 files to Bj\u00F8rn.", {{"Bjorn", "Bj\u00F8rn"}}},
        // Every replaced run of one to four words on each side, in text order.
        DiffCase{"ask jason about cube cuttle today",
                 "ask JSON about kubectl today",
                 {{"jason", "JSON"}, {"cube cuttle", "kubectl"}}},
        DiffCase{"one two three four five", "one 2 3 4 5", {{"two three four five", "2 3 4 5"}}},
        // Five words on one side, a pure insertion or deletion: nothing.
        DiffCase{"call me tomorrow", "call the office in the morning", {}},
        DiffCase{"please send it now", "please send now", {}}, DiffCase{"please send now", "please send it now", {}},
        // Only the case or the surrounding punctuation changed: not a useful mapping.
        DiffCase{"hello world", "Hello World!", {}},
        DiffCase{"a b", "a c", {}},  // a one-character heard form is not stored
        DiffCase{"", "something", {}}, DiffCase{"   ", "", {}},
        // Beyond ASCII: Cyrillic, an emoji, a combining mark.
        DiffCase{"\u043C\u043E\u0441\u043A\u0432\u0430 rocks \U0001F600",
                 "\u041C\u043E\u0441\u043A\u0432\u0430 rules \U0001F600",
                 {{"rocks", "rules"}}},
        DiffCase{"meet at the cafe now", "meet at the cafe\u0301 now", {{"cafe", "cafe\u0301"}}}));

TEST(LearnedStore, DiffOfLongTextsStaysBounded) {
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

TEST(LearnedStore, SelfTestPrintsTheDiffLines) {
    std::vector<std::string> lines;
    EXPECT_TRUE(LearnedStore::runSelfTest([&](const std::string& line) { lines.push_back(line); }));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              "PASS: diff(\"Send it to Bjorn today.\" \u2192 \"Send it to Bj\u00F8rn today.\") = "
              "[(heard: \"Bjorn\", intended: \"Bj\u00F8rn\")]");
    EXPECT_EQ(lines[2], "PASS: diff(\"Hello world.\" \u2192 \"Hello world.\") = []");
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
    return found;
}

TEST(LearnedStore, LearnsAPairOnceAndCountsRepeats) {
    test::ScratchHome home;
    LearnedStore::add("  Bjorn. ", " Bj\u00F8rn\n");
    LearnedStore::add("BJORN", "Bj\u00F8rn");
    LearnedStore::add("bjorn", "Bjoern");
    const LearnedData data = fileData(home);
    ASSERT_EQ(data.corrections.size(), 2u);
    EXPECT_EQ(data.corrections[0].heard, "Bjorn");
    EXPECT_EQ(data.corrections[0].intended, "Bj\u00F8rn");
    EXPECT_EQ(data.corrections[0].timesSeen, 2);
    EXPECT_EQ(data.corrections[1].intended, "Bjoern");
    EXPECT_EQ(data.corrections[1].timesSeen, 1);
    EXPECT_NE(data.corrections[0].id, data.corrections[1].id);
    EXPECT_EQ(data.terms, (std::vector<std::string>{"Bj\u00F8rn", "Bjoern"}));
}

TEST(LearnedStore, PairsThatAreNoUsefulMappingBecomeTerms) {
    test::ScratchHome home;
    LearnedStore::add("a", "A");              // one character heard
    LearnedStore::add("kubectl", "KUBECTL");  // only the case differs
    LearnedStore::add("...", "Vesk");         // nothing heard once the marks are trimmed
    LearnedStore::add("thing", "   ");        // nothing intended: nothing at all
    const LearnedData data = fileData(home);
    EXPECT_TRUE(data.corrections.empty());
    EXPECT_EQ(data.terms, (std::vector<std::string>{"A", "KUBECTL", "Vesk"}));
}

TEST(LearnedStore, TermsAreKeptOnceIgnoringCaseInTheirFirstSpelling) {
    test::ScratchHome home;
    LearnedStore::addTerm(" Kubernetes ");
    LearnedStore::addTerm("kubernetes");
    LearnedStore::addTerm("\n\t");
    LearnedStore::addTerm("\u00D8RESUND");
    LearnedStore::addTerm("\u00F8resund");
    EXPECT_EQ(fileData(home).terms, (std::vector<std::string>{"Kubernetes", "\u00D8RESUND"}));
    EXPECT_EQ(LearnedStore::biasTerms(), (std::vector<std::string>{"Kubernetes", "\u00D8RESUND"}));
}

TEST(LearnedStore, KeepsTheNewest300TermsAndCorrections) {
    test::ScratchHome home;
    LearnedData data;
    for (int i = 0; i < 300; ++i) {
        data.corrections.push_back({"", "heard" + std::to_string(i), "intended" + std::to_string(i), 1});
        data.terms.push_back("term" + std::to_string(i));
    }
    ASSERT_TRUE(LearnedStore::save(data));
    LearnedStore::addTerm("term300");
    LearnedData saved = fileData(home);
    ASSERT_EQ(saved.terms.size(), 300u);
    EXPECT_EQ(saved.terms.front(), "term1");
    EXPECT_EQ(saved.terms.back(), "term300");
    EXPECT_EQ(saved.corrections.size(), 300u);

    LearnedStore::add("heard300", "intended300");
    saved = fileData(home);
    ASSERT_EQ(saved.corrections.size(), 300u);
    EXPECT_EQ(saved.corrections.front().heard, "heard1");
    EXPECT_EQ(saved.corrections.back().heard, "heard300");
    EXPECT_EQ(saved.terms.front(), "term2");
    EXPECT_EQ(saved.terms.back(), "intended300");
}

TEST(LearnedStore, AppliesLongerHeardFormsFirstAsWholeWords) {
    test::ScratchHome home;
    EXPECT_EQ(LearnedStore::apply("no file \xFF"), "no file \xFF");  // nothing learned: untouched
    // Pairs that differ only in case are never learned by `add`, but a file may hold them.
    LearnedData data;
    data.corrections = {{"", "york", "York", 1}, {"", "new york", "New York", 1}};
    ASSERT_TRUE(LearnedStore::save(data));
    EXPECT_EQ(LearnedStore::apply("from new york to YORK"), "from New York to York");
}

TEST(LearnedStore, AppliesEveryLearnedPairLiterally) {
    test::ScratchHome home;
    LearnedStore::add("york", "Yorkshire");
    LearnedStore::add("new york", "NYC");
    LearnedStore::add("jason", "$1 \\JSON");
    EXPECT_EQ(LearnedStore::apply("from NEW YORK to york, not yorkshire. Jason!"),
              "from NYC to Yorkshire, not yorkshire. $1 \\JSON!");
    // Equal lengths keep the file's order: the first of two rules for one word wins.
    LearnedStore::add("colour", "color");
    LearnedStore::add("colour", "Colour!");
    EXPECT_EQ(LearnedStore::apply("colour"), "color");
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

TEST(LearnedStore, WritesCompactJsonWithUpperCaseIds) {
    test::ScratchHome home;
    LearnedStore::add("jason", "JSON");
    const std::string text = home.readSupportFile("learned.json");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    const auto document = nlohmann::json::parse(text);
    ASSERT_EQ(document.size(), 2u);
    const auto& correction = document.at("corrections").at(0);
    EXPECT_EQ(correction.size(), 4u);
    EXPECT_TRUE(std::regex_match(correction.at("id").get<std::string>(),
                                 std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
    EXPECT_EQ(correction.at("heard"), "jason");
    EXPECT_EQ(correction.at("intended"), "JSON");
    EXPECT_EQ(correction.at("timesSeen"), 1);
    EXPECT_EQ(document.at("terms"), nlohmann::json::array({"JSON"}));
}

TEST(LearnedStore, ReadsLowerCaseIdsAndExtraMembersAndSavesUpperCase) {
    test::ScratchHome home;
    home.writeSupportFile("learned.json", R"({"terms": [], "version": 2, "corrections": [
        {"timesSeen": 4, "intended": "JSON", "heard": "jason", "id": "6ba7b810-9dad-41d1-80b4-00c04fd430c8", "note": 1}]})");
    EXPECT_EQ(LearnedStore::apply("ask jason"), "ask JSON");
    LearnedStore::add("jason", "JSON");
    const LearnedData data = fileData(home);
    ASSERT_EQ(data.corrections.size(), 1u);
    EXPECT_EQ(data.corrections[0].timesSeen, 5);
    EXPECT_NE(home.readSupportFile("learned.json").find("6BA7B810-9DAD-41D1-80B4-00C04FD430C8"), std::string::npos);
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
}

TEST(LearnedStore, UndecodableFileReadsEmptyAndIsMovedAsideBeforeASave) {
    test::ScratchHome home;
    const std::string damaged = R"({"corrections": [{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "heard": "jason",)";
    home.writeSupportFile("learned.json", damaged);
    EXPECT_EQ(LearnedStore::apply("ask jason"), "ask jason");
    EXPECT_TRUE(LearnedStore::biasTerms().empty());
    EXPECT_TRUE(setAside(home).empty()) << "reading alone moves nothing";

    LearnedStore::add("cube cuttle", "kubectl");
    const auto aside = setAside(home);
    ASSERT_EQ(aside.size(), 1u);
    std::ifstream in(aside[0], std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
    const LearnedData data = fileData(home);
    ASSERT_EQ(data.corrections.size(), 1u);
    EXPECT_EQ(data.corrections[0].intended, "kubectl");

    // The next damage is kept too, beside the first.
    home.writeSupportFile("learned.json", "\xFF\xFE garbage");
    LearnedStore::addTerm("Vesk");
    EXPECT_EQ(setAside(home).size(), 2u);
    EXPECT_EQ(fileData(home).terms, std::vector<std::string>{"Vesk"});
}

TEST(LearnedStore, HugeFilesNeitherCrashNorLoseData) {
    test::ScratchHome home;
    // Several megabytes of one unfinished array.
    const std::string garbage = R"({"corrections": [)" + std::string(4 << 20, '[');
    home.writeSupportFile("learned.json", garbage);
    EXPECT_EQ(LearnedStore::apply("text"), "text");
    LearnedStore::addTerm("Vesk");
    const auto aside = setAside(home);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fs::file_size(aside[0]), garbage.size());

    // A valid document far beyond the limits: read in full, trimmed when next saved.
    LearnedData big;
    for (int i = 0; i < 20'000; ++i) {
        big.corrections.push_back({"", "heard" + std::to_string(i), "intended" + std::to_string(i), 1});
        big.terms.push_back("term" + std::to_string(i));
    }
    ASSERT_TRUE(LearnedStore::save(big));
    EXPECT_GT(fs::file_size(LearnedStore::filePath()), 1u << 20);
    EXPECT_EQ(LearnedStore::apply("heard7 and heard19999"), "intended7 and intended19999");
    LearnedStore::add("cube cuttle", "kubectl");
    const LearnedData saved = fileData(home);
    EXPECT_EQ(saved.corrections.size(), 300u);
    EXPECT_EQ(saved.corrections.back().intended, "kubectl");
    EXPECT_EQ(saved.terms.size(), 300u);
}

TEST(LearnedStore, UnreadableFileIsMovedAsideToo) {
    test::ScratchHome home;
    // A directory where the file should be: it exists but cannot be read as a file.
    fs::create_directories(home.supportDirectory() / "learned.json");
    std::ofstream(home.supportDirectory() / "learned.json" / "keep") << "kept";
    EXPECT_EQ(LearnedStore::apply("ask jason"), "ask jason");
    LearnedStore::add("jason", "JSON");
    const auto aside = setAside(home);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(fs::exists(aside[0] / "keep"));
    EXPECT_EQ(LearnedStore::apply("ask jason"), "ask JSON");
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

TEST(LearnedStore, EncodeAndDecodeRoundTrip) {
    LearnedData data;
    data.corrections = {{"6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "bj orn", "Bj\u00F8rn \U0001F600", 9'000'000'000}};
    data.terms = {"\u6771\u4EAC", "stra\u00DFe"};
    EXPECT_EQ(LearnedStore::decode(LearnedStore::encode(data)), data);
}

}  // namespace
}  // namespace vesk

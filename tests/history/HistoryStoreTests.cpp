#include "history/HistoryStore.h"

#include "core/Uuid.h"
#include "support/TestEnvironment.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace vesk {
namespace {

using nlohmann::json;

HistoryEntry makeEntry(std::string text, double date, std::optional<double> duration = std::nullopt,
                       OutputMode mode = OutputMode::prompt) {
    return {makeUuid(), text + " (said)", std::move(text), date, duration, mode};
}

std::vector<std::filesystem::path> filesBeside(const std::filesystem::path& file, const std::string& prefix) {
    std::vector<std::filesystem::path> found;
    for (const auto& item : std::filesystem::directory_iterator(file.parent_path()))
        if (item.path().filename().string().starts_with(prefix)) found.push_back(item.path());
    return found;
}

class HistoryStoreTest : public ::testing::Test {
protected:
    json storedDocument() const { return json::parse(home.readSupportFile("history.json")); }
    std::filesystem::path historyFile() const { return home.supportDirectory() / "history.json"; }

    test::ScratchHome home;
};

TEST_F(HistoryStoreTest, LegacyDocumentLoadsAndIsRewrittenInTheCurrentForm) {
    home.writeSupportFile("history.json", R"([{"text":"Legacy prompt","date":0,"duration":3.5}])");
    HistoryStore store;
    ASSERT_EQ(store.entries().size(), 1u);
    const HistoryEntry& entry = store.entries().front();
    EXPECT_TRUE(parseUuid(entry.id));
    EXPECT_EQ(entry, (HistoryEntry{entry.id, "Legacy prompt", "Legacy prompt", 0.0, 3.5, OutputMode::prompt}));
    EXPECT_EQ(storedDocument(), json::array({{{"id", entry.id},
                                              {"transcript", "Legacy prompt"},
                                              {"renderedText", "Legacy prompt"},
                                              {"outputMode", "aiReady"},
                                              {"date", 0.0},
                                              {"duration", 3.5}}}));
    // Compact output, one line.
    EXPECT_EQ(home.readSupportFile("history.json").find('\n'), std::string::npos);
}

TEST_F(HistoryStoreTest, EntryWithDurationRoundTripsThroughTheFileAndOneWithoutHasNoKey) {
    const HistoryEntry spoken{
        makeUuid(), "What the person said", "Clear request for the AI", historyDateFromUnixSeconds(12),
        4.0,        OutputMode::clean};
    const HistoryEntry unmeasured{makeUuid(),      "No timer",   "No timer.",
                                  1234.5678901234, std::nullopt, OutputMode::exact};
    {
        HistoryStore store;
        store.add(spoken);
        store.add(unmeasured);
    }
    const json document = storedDocument();
    EXPECT_EQ(document[0].at("outputMode"), "verbatim");
    EXPECT_FALSE(document[0].contains("duration"));
    EXPECT_EQ(document[1].at("outputMode"), "synopsis");
    EXPECT_EQ(document[1].at("date"), 12.0 - 978307200.0);

    HistoryStore reloaded;
    ASSERT_EQ(reloaded.entries().size(), 2u);
    EXPECT_EQ(reloaded.entries()[0], unmeasured);
    EXPECT_EQ(reloaded.entries()[1], spoken);
}

TEST_F(HistoryStoreTest, AddingAKnownIdMovesItToTheFrontWithItsNewContents) {
    HistoryStore store;
    HistoryEntry first = makeEntry("first", 1);
    store.add(first);
    store.add(makeEntry("second", 2));
    store.add(makeEntry("third", 3));
    first.renderedText = "first, edited";
    store.add(first);
    ASSERT_EQ(store.entries().size(), 3u);
    EXPECT_EQ(store.entries()[0], first);
    EXPECT_EQ(store.entries()[1].renderedText, "third");
    EXPECT_EQ(store.entries()[2].renderedText, "second");
    EXPECT_EQ(storedDocument().size(), 3u);
}

TEST_F(HistoryStoreTest, ALongerFileLoadsWholeAndIsTrimmedOnlyByTheNextAdd) {
    std::vector<HistoryEntry> sixty;
    for (int i = 0; i < 60; ++i) sixty.push_back(makeEntry("old " + std::to_string(i), 1000 - i));
    home.writeSupportFile("history.json", encodeHistory(sixty));

    HistoryStore store;
    EXPECT_EQ(store.entries(), sixty);
    EXPECT_EQ(storedDocument().size(), 60u);

    store.add(makeEntry("new", 2000));
    ASSERT_EQ(store.entries().size(), 50u);
    EXPECT_EQ(store.entries()[1], sixty[0]);
    EXPECT_EQ(store.entries().back(), sixty[48]);
    EXPECT_EQ(storedDocument().size(), 50u);
}

// Loading alone writes nothing; the first save moves an unreadable file aside, once.
TEST(HistoryStoreFile, MissingOrUnreadableStartsEmptyAndIsKeptAsideByTheFirstSave) {
    const std::optional<std::string> cases[] = {
        std::nullopt,
        R"([{"id":"6F9619FF-8B86-D011-B42D-00CF4FC964FF","transcript":"a","renderedText":"b","date":5,)"
        R"("outputMode":"summary"}])",  // a newer version's mode
        R"([{"text":"half a docu)",
    };
    for (const auto& contents : cases) {
        SCOPED_TRACE(contents.value_or("(missing)"));
        test::ScratchHome home;
        const auto file = home.supportDirectory() / "history.json";
        if (contents) home.writeSupportFile("history.json", *contents);
        HistoryStore store;
        EXPECT_TRUE(store.entries().empty());
        EXPECT_EQ(std::filesystem::exists(file), contents.has_value());
        EXPECT_EQ(contents ? home.readSupportFile("history.json") : "", contents.value_or(""));
        EXPECT_TRUE(filesBeside(file, "history.json.unreadable-").empty());

        store.add(makeEntry("fresh", 10));
        store.add(makeEntry("another", 11));
        const auto aside = filesBeside(file, "history.json.unreadable-");
        ASSERT_EQ(aside.size(), contents ? 1u : 0u);
        if (contents) {
            EXPECT_EQ(home.readSupportFile(aside[0].filename().string()), *contents);
        }
        EXPECT_EQ(HistoryStore().entries(), store.entries());
    }
}

TEST_F(HistoryStoreTest, UpdatesChangeTheMatchingEntryAndSaveAndAnUnknownIdWritesNothing) {
    HistoryStore store;
    const HistoryEntry entry = makeEntry("draft", 1);
    store.add(entry);

    EXPECT_TRUE(store.updateRenderedText(entry.id, "re-rendered", OutputMode::exact));
    EXPECT_EQ(store.entries()[0].renderedText, "re-rendered");
    EXPECT_EQ(store.entries()[0].outputMode, OutputMode::exact);
    EXPECT_EQ(storedDocument()[0].at("outputMode"), "verbatim");

    EXPECT_TRUE(store.updateRenderedText(entry.id, "edited by hand"));
    EXPECT_EQ(store.entries()[0].outputMode, OutputMode::exact);  // no mode given: kept

    EXPECT_TRUE(store.updateTranscript(entry.id, "said Bjørn", "sent to Bjørn"));
    EXPECT_EQ(HistoryStore().entries(), store.entries());
    EXPECT_EQ(store.entries()[0].transcript, "said Bjørn");
    EXPECT_EQ(store.entries()[0].renderedText, "sent to Bjørn");

    std::filesystem::remove(historyFile());
    EXPECT_FALSE(store.updateRenderedText(makeUuid(), "nothing"));
    EXPECT_FALSE(store.updateTranscript(makeUuid(), "a", "b"));
    EXPECT_FALSE(std::filesystem::exists(historyFile()));
    EXPECT_EQ(store.entries()[0].renderedText, "sent to Bjørn");
}

TEST(HistoryDocument, ReadsEachMemberByItsRule) {
    const auto decoded = decodeHistory(
        R"([{"date":1},)"
        R"({"date":2,"text":"legacy","renderedText":"rendered"},)"
        R"({"date":3,"text":"legacy","transcript":"spoken"},)"
        R"({"date":4,"renderedText":"only rendered","duration":null,"outputMode":null},)"
        R"({"id":"6f9619ff-8b86-d011-b42d-00cf4fc964ff","date":-5.25,"transcript":"t","renderedText":"r",)"
        R"("outputMode":"verbatim","duration":0}])");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 5u);
    const auto& e = *decoded;
    // Entries without an id get fresh ones, each different; a lower-case id is kept upper case.
    const std::vector<HistoryEntry> expected{
        {e[0].id, "", "", 1, std::nullopt, OutputMode::prompt},
        {e[1].id, "legacy", "rendered", 2, std::nullopt, OutputMode::prompt},
        {e[2].id, "spoken", "legacy", 3, std::nullopt, OutputMode::prompt},
        {e[3].id, "only rendered", "only rendered", 4, std::nullopt, OutputMode::prompt},
        {"6F9619FF-8B86-D011-B42D-00CF4FC964FF", "t", "r", -5.25, 0.0, OutputMode::exact}};
    EXPECT_EQ(e, expected);
    std::set<std::string> ids;
    for (const HistoryEntry& entry : e) EXPECT_TRUE(parseUuid(entry.id) && ids.insert(entry.id).second) << entry.id;
    EXPECT_NE(encodeHistory({e[4]}).find("6F9619FF-8B86-D011-B42D-00CF4FC964FF"), std::string::npos);
}

TEST(HistoryDocument, OneBadEntryFailsTheWholeDocument) {
    for (const char* document : {
             R"([{"date":1},{"text":"no date"}])",
             R"([{"date":"yesterday"}])",
             R"([{"date":1,"outputMode":"summary"}])",
             R"([{"date":1,"outputMode":3}])",
             R"([{"date":1,"id":"not-a-uuid"}])",
             R"([{"date":1,"transcript":7}])",
             R"([{"date":1,"duration":"4s"}])",
             R"([{"date":null}])",
             R"([1])",
             R"({"date":1})",
             R"()",
             "[{\"date\":1,\"text\":\"\xff\"}]",
         })
        EXPECT_FALSE(decodeHistory(document)) << document;
    EXPECT_EQ(decodeHistory("[]"), std::vector<HistoryEntry>{});
}

}  // namespace
}  // namespace vesk

#include "history/HistoryStore.h"

#include "core/Uuid.h"
#include "support/TestEnvironment.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_EQ(entry.transcript, "Legacy prompt");
    EXPECT_EQ(entry.renderedText, "Legacy prompt");
    EXPECT_EQ(entry.date, 0.0);
    EXPECT_EQ(entry.duration, 3.5);
    EXPECT_EQ(entry.outputMode, OutputMode::prompt);

    const json document = storedDocument();
    ASSERT_EQ(document.size(), 1u);
    const json& object = document[0];
    EXPECT_EQ(object.at("id"), entry.id);
    EXPECT_EQ(object.at("transcript"), "Legacy prompt");
    EXPECT_EQ(object.at("renderedText"), "Legacy prompt");
    EXPECT_EQ(object.at("outputMode"), "aiReady");
    EXPECT_EQ(object.at("date"), 0.0);
    EXPECT_EQ(object.at("duration"), 3.5);
    EXPECT_FALSE(object.contains("text"));
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

TEST_F(HistoryStoreTest, TheFiftyFirstEntryPushesOutTheOldest) {
    HistoryStore store;
    for (int i = 0; i < 51; ++i) store.add(makeEntry("entry " + std::to_string(i), i));
    ASSERT_EQ(store.entries().size(), 50u);
    EXPECT_EQ(store.entries().front().renderedText, "entry 50");
    EXPECT_EQ(store.entries().back().renderedText, "entry 1");
    const json document = storedDocument();
    ASSERT_EQ(document.size(), 50u);
    EXPECT_EQ(document.back().at("renderedText"), "entry 1");
    EXPECT_EQ(HistoryStore().entries(), store.entries());
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

TEST_F(HistoryStoreTest, UnreadableFileStartsEmptyAndIsMovedAsideBeforeTheFirstSave) {
    const std::string newerVersion =
        R"([{"id":"6F9619FF-8B86-D011-B42D-00CF4FC964FF","transcript":"a","renderedText":"b","date":5,)"
        R"("outputMode":"summary"}])";
    home.writeSupportFile("history.json", newerVersion);

    HistoryStore store;
    EXPECT_TRUE(store.entries().empty());
    // Loading alone writes nothing.
    EXPECT_EQ(home.readSupportFile("history.json"), newerVersion);
    EXPECT_TRUE(filesBeside(historyFile(), "history.json.unreadable-").empty());

    store.add(makeEntry("fresh", 10));
    const auto aside = filesBeside(historyFile(), "history.json.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(home.readSupportFile(aside[0].filename().string()), newerVersion);
    EXPECT_EQ(storedDocument().size(), 1u);

    // Only the first save moves a file aside.
    store.add(makeEntry("another", 11));
    EXPECT_EQ(filesBeside(historyFile(), "history.json.unreadable-").size(), 1u);
    EXPECT_EQ(storedDocument().size(), 2u);
}

TEST_F(HistoryStoreTest, TruncatedFileIsKeptAsideToo) {
    home.writeSupportFile("history.json", R"([{"text":"half a docu)");
    HistoryStore store;
    EXPECT_TRUE(store.entries().empty());
    store.add(makeEntry("fresh", 10));
    const auto aside = filesBeside(historyFile(), "history.json.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(home.readSupportFile(aside[0].filename().string()), R"([{"text":"half a docu)");
}

TEST_F(HistoryStoreTest, MissingFileStartsEmptyAndWritesNothingUntilAnAdd) {
    HistoryStore store;
    EXPECT_TRUE(store.entries().empty());
    EXPECT_FALSE(std::filesystem::exists(historyFile()));
}

TEST_F(HistoryStoreTest, UpdatesChangeTheMatchingEntryAndSave) {
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
    EXPECT_EQ(HistoryStore().entries()[0].transcript, "said Bjørn");
    EXPECT_EQ(HistoryStore().entries()[0].renderedText, "sent to Bjørn");
}

TEST_F(HistoryStoreTest, UpdatingAnUnknownIdWritesNothing) {
    HistoryStore store;
    store.add(makeEntry("kept", 1));
    std::filesystem::remove(historyFile());
    EXPECT_FALSE(store.updateRenderedText(makeUuid(), "nothing"));
    EXPECT_FALSE(store.updateTranscript(makeUuid(), "a", "b"));
    EXPECT_FALSE(std::filesystem::exists(historyFile()));
    EXPECT_EQ(store.entries()[0].renderedText, "kept");
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
    EXPECT_EQ(e[0].transcript, "");
    EXPECT_EQ(e[0].renderedText, "");
    EXPECT_EQ(e[0].outputMode, OutputMode::prompt);
    EXPECT_EQ(e[1].renderedText, "rendered");
    EXPECT_EQ(e[1].transcript, "legacy");
    EXPECT_EQ(e[2].renderedText, "legacy");
    EXPECT_EQ(e[2].transcript, "spoken");
    EXPECT_EQ(e[3].transcript, "only rendered");
    EXPECT_FALSE(e[3].duration);
    EXPECT_EQ(e[4].id, "6F9619FF-8B86-D011-B42D-00CF4FC964FF");  // read in lower case, kept upper case
    EXPECT_EQ(e[4].date, -5.25);
    EXPECT_EQ(e[4].duration, 0.0);
    EXPECT_EQ(e[4].outputMode, OutputMode::exact);
    // Fresh ids for entries without one, each different.
    EXPECT_NE(e[0].id, e[1].id);
    EXPECT_EQ(encodeHistory({e[4]}).find("6F9619FF-8B86-D011-B42D-00CF4FC964FF") != std::string::npos, true);
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

// Randomised robustness checks: whatever bytes "history.json" holds, loading never
// crashes, never loses the file, and whatever decodes re-encodes to the same entries.
#include "core/Uuid.h"
#include "history/HistoryOrganizer.h"
#include "history/HistoryStore.h"
#include "support/RandomInput.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vesk {
namespace {

std::string jsonValue(test::RandomInput& random) {
    // String contents as they stand in the file: real and escaped-away escapes (a lone
    // surrogate among them), non-ASCII text, JSON syntax inside a string, malformed bytes.
    static constexpr const char* pieces[] = {
        "a", "Bjørn", " ", "\\n",  "\\\"",  "\\\\",          "\\u00e9", "\\ud800", "\\\\ud800",
        "é", "💡",     "0", "-1",   "1e308", "null",          "{",       "}",       "[",
        "]", ",",     ":", "\xff", "\xc3",  "Legacy prompt", "\\t"};
    static constexpr const char* fixed[] = {"null", "true", "[]", "\"aiReady\"", "\"verbatim\"", "\"summary\""};
    switch (random.below(5)) {
        case 0: return std::to_string(static_cast<long long>(random.below(2000000)) - 1000000);
        case 1: return std::to_string(static_cast<double>(random.below(1000000)) / 7.0);
        case 2: return "\"" + random.uuid(random.chance(0.5)) + "\"";
        case 3: return random.pick(fixed);
    }
    std::string out = "\"";
    for (size_t n = random.below(8); n > 0; --n) out += random.pick(pieces);
    return out + "\"";
}

// An array of objects made of the history's keys (and a stray one) with values of every
// type, sometimes damaged, so that many documents decode and many do not.
std::string historyDocument(test::RandomInput& random) {
    static constexpr const char* keys[] = {"id",       "transcript", "renderedText", "date",
                                           "duration", "outputMode", "text",         "extra"};
    std::string out = "[";
    for (size_t n = random.below(4); n > 0; --n) {
        out += "{\"date\":" + jsonValue(random);
        for (size_t m = random.below(6); m > 0; --m)
            out += ",\"" + std::string(random.pick(keys)) + "\":" + jsonValue(random);
        out += n > 1 ? "}," : "}";
    }
    out += "]";
    return random.chance(0.33) ? random.damage(out) : out;
}

TEST(HistoryFuzz, DecodedDocumentsReencodeToTheSameEntries) {
    test::RandomInput random(20250611);
    int decoded = 0;
    for (int i = 0; i < 4500; ++i) {
        std::string document;
        switch (i % 3) {
            case 0: document = random.chance(0.5) ? random.anyJson(4) : random.bytes(64); break;
            case 1:
                document =
                    random.damage(encodeHistory({HistoryEntry{random.uuid(random.chance(0.5)), random.mangledText(6),
                                                              random.text(6), 3.25, std::nullopt, OutputMode::clean}}));
                break;
            default: document = historyDocument(random);
        }
        const auto entries = decodeHistory(document);
        if (!entries) continue;
        decoded += i % 3 == 2;
        for (const HistoryEntry& entry : *entries) {
            std::string normalized;
            ASSERT_TRUE(parseUuid(entry.id, &normalized)) << document;
            EXPECT_EQ(entry.id, normalized) << document;
        }
        const auto again = decodeHistory(encodeHistory(*entries));
        ASSERT_TRUE(again) << document;
        EXPECT_EQ(*again, *entries) << document;
        // Grouping and titling take anything that decodes.
        size_t grouped = 0;
        for (const auto& project : HistoryOrganizer::projects(*entries)) {
            grouped += project.entries.size();
            EXPECT_FALSE(project.title.empty());
        }
        EXPECT_EQ(grouped, entries->size());
    }
    // The history-shaped documents must reach both outcomes for the checks to mean anything.
    EXPECT_GT(decoded, 150);
    EXPECT_LT(decoded, 1350);
}

TEST(HistoryFuzz, StoreNeverLosesAFileItCannotRead) {
    test::RandomInput random(7);
    for (int i = 0; i < 60; ++i) {
        test::ScratchHome home;
        const std::string document = historyDocument(random);
        home.writeSupportFile("history.json", document);
        const auto expected = decodeHistory(document);

        HistoryStore store;
        store.add(HistoryEntry{makeUuid(), "new", "new", 1, std::nullopt, OutputMode::exact});
        if (expected) {
            EXPECT_EQ(store.entries().size(), std::min<size_t>(expected->size() + 1, HistoryStore::limit));
            continue;
        }
        EXPECT_EQ(store.entries().size(), 1u);
        bool kept = false;
        for (const auto& item : std::filesystem::directory_iterator(home.supportDirectory()))
            if (item.path().filename().string().starts_with("history.json.unreadable-"))
                kept = kept || home.readSupportFile(item.path().filename().string()) == document;
        EXPECT_TRUE(kept) << document;
    }
}

}  // namespace
}  // namespace vesk

// Randomised robustness checks: whatever bytes "history.json" holds, loading never
// crashes, never loses the file, and whatever decodes re-encodes to the same entries.
#include "core/Uuid.h"
#include "history/HistoryOrganizer.h"
#include "history/HistoryStore.h"
#include "support/RandomInput.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace vesk {
namespace {

// A seeded generator so every failure can be replayed.
class RandomDocuments {
public:
    explicit RandomDocuments(unsigned seed) : engine_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine_); }

    std::string text() {
        static const std::vector<std::string> pieces{"a",
                                                     "Bjørn",
                                                     " ",
                                                     "\n",
                                                     "\"",
                                                     "\\",
                                                     "\\u00e9",
                                                     "\\ud800",
                                                     "é",
                                                     "💡",
                                                     "0",
                                                     "-1",
                                                     "1e308",
                                                     "null",
                                                     "{",
                                                     "}",
                                                     "[",
                                                     "]",
                                                     ",",
                                                     ":",
                                                     "\xff",
                                                     "\xc3",
                                                     "Legacy prompt",
                                                     "\t"};
        std::string out;
        for (size_t n = below(8); n > 0; --n) out += pieces[below(pieces.size())];
        return out;
    }

    std::string jsonString() {
        std::string escaped;
        for (const char c : text()) {
            if (c == '"' || c == '\\') escaped += '\\';
            if (c == '\n') {
                escaped += "\\n";
                continue;
            }
            if (c == '\t') {
                escaped += "\\t";
                continue;
            }
            escaped += c;
        }
        return "\"" + escaped + "\"";
    }

    std::string value() {
        switch (below(9)) {
            case 0: return "null";
            case 1: return std::to_string(static_cast<long long>(below(2000000)) - 1000000);
            case 2: return std::to_string(static_cast<double>(below(1000000)) / 7.0);
            case 3: return "true";
            case 4: return "[]";
            case 5: return "\"" + makeUuid() + "\"";
            case 6: return "\"aiReady\"";
            case 7: return below(2) ? "\"verbatim\"" : "\"summary\"";
            default: return jsonString();
        }
    }

    // An array of objects made of the history's keys (and a stray one) with values of
    // every type, so that many documents decode and many do not.
    std::string document() {
        static const std::vector<std::string> keys{"id",       "transcript", "renderedText", "date",
                                                   "duration", "outputMode", "text",         "extra"};
        std::string out = "[";
        for (size_t n = below(4); n > 0; --n) {
            out += "{\"date\":" + value();
            for (size_t m = below(6); m > 0; --m) out += ",\"" + keys[below(keys.size())] + "\":" + value();
            out += "}";
            if (n > 1) out += ",";
        }
        out += "]";
        return mutate(out);
    }

    // Sometimes flips, drops or inserts a few bytes.
    std::string mutate(std::string bytes) {
        if (below(3) != 0) return bytes;
        for (size_t n = 1 + below(3); n > 0 && !bytes.empty(); --n) {
            const size_t at = below(bytes.size());
            switch (below(3)) {
                case 0: bytes[at] = static_cast<char>(below(256)); break;
                case 1: bytes.erase(at, 1 + below(4)); break;
                default: bytes.insert(at, 1, static_cast<char>(below(128))); break;
            }
        }
        return bytes;
    }

private:
    std::mt19937 engine_;
};

TEST(HistoryFuzz, DecodedDocumentsReencodeToTheSameEntries) {
    RandomDocuments random(20250611);
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string document = random.document();
        const auto entries = decodeHistory(document);
        if (!entries) continue;
        ++decoded;
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
    // The generator must reach both outcomes for the check to mean anything.
    EXPECT_GT(decoded, 300);
    EXPECT_LT(decoded, 2700);
}

TEST(HistoryFuzz, AnyJsonOrBytesDecodeSafely) {
    test::RandomInput random(99);
    for (int i = 0; i < 1500; ++i) {
        std::string input;
        switch (i % 3) {
            case 0: input = random.anyJson(4); break;
            case 1: input = random.bytes(64); break;
            default:
                input =
                    random.damage(encodeHistory({HistoryEntry{random.uuid(random.chance(0.5)), random.mangledText(6),
                                                              random.text(6), 3.25, std::nullopt, OutputMode::clean}}));
        }
        const auto entries = decodeHistory(input);
        if (!entries) continue;
        const auto again = decodeHistory(encodeHistory(*entries));
        ASSERT_TRUE(again) << input;
        EXPECT_EQ(*again, *entries) << input;
    }
}

TEST(HistoryFuzz, StoreNeverLosesAFileItCannotRead) {
    RandomDocuments random(7);
    for (int i = 0; i < 60; ++i) {
        test::ScratchHome home;
        const std::string document = random.document();
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

// Randomized runs of the text pipeline: arbitrary text (malformed bytes included) and
// arbitrary, damaged or oversized data files must never crash it, and every result must
// keep the invariants the passes promise. Seeds are fixed, so a failure repeats.
#include "support/RandomInput.h"
#include "support/TestEnvironment.h"
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"
#include "text/TextPipeline.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace vesk {
namespace {

namespace fs = std::filesystem;

bool isValidUtf8(const std::string& text) { return unicode::fromCodePoints(unicode::codePoints(text)) == text; }

// What the formatter guarantees for any input.
void expectTidy(const std::string& input, const std::string& output) {
    SCOPED_TRACE("input: " + input);
    ASSERT_TRUE(isValidUtf8(output)) << output;
    EXPECT_EQ(unicode::trimWhitespaceAndNewlines(output), output);
    EXPECT_EQ(output.find("  "), std::string::npos) << output;
    EXPECT_EQ(output.find('\t'), std::string::npos) << output;
    EXPECT_EQ(output.find("\n\n\n"), std::string::npos) << output;
    for (const char mark : std::string(",.;:!?")) EXPECT_EQ(output.find(std::string(" ") + mark), std::string::npos);
    if (!output.empty()) {
        const std::string last = unicode::graphemes(output).back();
        EXPECT_FALSE(unicode::isLetter(last) || unicode::isNumber(last)) << "a final period is missing: " << output;
    }
}

std::string randomText(test::RandomInput& random) {
    switch (random.below(8)) {
        case 0: return random.mangledText(30);
        case 1: return random.bytes(60);
        default: return random.text(30);
    }
}

TEST(RandomizedText, FormatterKeepsItsInvariantsOnAnyText) {
    test::RandomInput random(1);
    TextFormatter::Dictionary dictionary;
    for (int i = 0; i < 8; ++i) dictionary[random.word()] = random.text(2);
    const TextFormatter formatter(dictionary);
    for (int round = 0; round < 1500; ++round) {
        const std::string text = randomText(random);
        expectTidy(text, formatter.format(text));
        expectTidy(text, formatter.formatExact(text));
        if (HasFatalFailure()) return;
    }
}

TEST(RandomizedText, DiffNeverReturnsLongOrUselessPairs) {
    test::RandomInput random(2);
    for (int round = 0; round < 800; ++round) {
        const std::string original = randomText(random);
        std::string corrected = original;
        if (random.chance(0.8)) corrected = random.text(30);
        for (const CorrectionPair& pair : LearnedStore::extractCorrections(original, corrected)) {
            EXPECT_TRUE(LearnedStore::isUsefulMapping(pair.heard, pair.intended))
                << pair.heard << " / " << pair.intended;
            // Marks are trimmed last, so white space may survive inside them ("the ."), marks never.
            for (const std::string& side : {pair.heard, pair.intended}) {
                ASSERT_FALSE(side.empty());
                EXPECT_EQ(std::string_view(".,!?;:").find(side.front()), std::string_view::npos) << side;
                EXPECT_EQ(std::string_view(".,!?;:").find(side.back()), std::string_view::npos) << side;
                EXPECT_LE(std::count(side.begin(), side.end(), ' '), 3 + 2) << side;
            }
        }
        EXPECT_TRUE(LearnedStore::extractCorrections(original, original).empty());
    }
}

TEST(RandomizedText, DecodersAcceptOnlyWhatTheyCanWriteBack) {
    test::RandomInput random(3);
    for (int round = 0; round < 600; ++round) {
        const std::string learned = random.chance(0.5) ? random.damage(random.learnedJson(6, 6)) : random.anyJson(4);
        if (const auto data = LearnedStore::decode(learned)) {
            EXPECT_EQ(LearnedStore::decode(LearnedStore::encode(*data)), data) << learned;
        }
        const std::string snippets = random.chance(0.5) ? random.damage(random.snippetsJson(6)) : random.anyJson(4);
        if (const auto decoded = SnippetStore::decode(snippets)) {
            for (const Snippet& snippet : *decoded) EXPECT_EQ(snippet.id.size(), 36u);
        }
        const std::string dictionary = random.chance(0.5) ? random.damage(random.dictionaryJson(6)) : random.anyJson(4);
        (void)TextFormatter::decodeDictionary(dictionary);
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<fs::path> setAsideFiles(const fs::path& directory) {
    std::set<fs::path> found;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().filename().string().starts_with("learned.json.unreadable-")) found.insert(entry.path());
    return found;
}

TEST(RandomizedText, PipelineAndLearningSurviveAnyDataFiles) {
    test::ScratchHome home;
    test::RandomInput random(4);
    const fs::path learnedPath = home.supportDirectory() / "learned.json";
    int setAsideCount = 0;
    int keptCount = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (random.chance(0.5)) home.writeSupportFile("dictionary.json", random.damage(random.dictionaryJson(10)));
        if (random.chance(0.5)) home.writeSupportFile("snippets.json", random.damage(random.snippetsJson(10)));
        if (random.chance(0.6)) {
            std::string learned = random.learnedJson(20, 20);
            if (random.chance(0.3)) learned = random.damage(learned);
            if (random.chance(0.05)) learned = random.bytes(300);
            home.writeSupportFile("learned.json", learned);
        }

        const std::string text = randomText(random);
        ASSERT_TRUE(isValidUtf8(TextPipeline::clean(text)) || !isValidUtf8(text));
        (void)TextPipeline::exact(text);

        const auto terms = LearnedStore::biasTerms();
        EXPECT_LE(terms.size(), LearnedStore::kMaxBiasTerms);
        std::set<std::string> lowered;
        for (const std::string& term : terms) {
            EXPECT_EQ(unicode::trimWhitespaceAndNewlines(term), term);
            EXPECT_GE(unicode::graphemes(term).size(), 2u);
            EXPECT_TRUE(lowered.insert(unicode::toLower(term)).second) << "twice: " << term;
        }

        // Learning keeps what was there: a readable file keeps its corrections, an
        // unreadable one is set aside byte for byte.
        const bool existed = fs::exists(learnedPath);
        const std::string before = existed ? readFile(learnedPath) : std::string();
        const auto previous = existed ? LearnedStore::decode(before) : std::nullopt;
        const auto asideBefore = setAsideFiles(home.supportDirectory());
        if (random.chance(0.5)) {
            LearnedStore::add(random.word(), random.word());
        } else {
            LearnedStore::addTerm(random.word());
        }
        const auto after = LearnedStore::decode(readFile(learnedPath));
        if (!fs::exists(learnedPath)) continue;  // nothing worth learning, nothing written
        ASSERT_TRUE(after.has_value()) << "a save always leaves a readable file";
        EXPECT_LE(after->corrections.size(), LearnedStore::kMaxCorrections);
        EXPECT_LE(after->terms.size(), LearnedStore::kMaxTerms);
        const auto asideAfter = setAsideFiles(home.supportDirectory());
        if (existed && !previous && readFile(learnedPath) != before) {
            ASSERT_EQ(asideAfter.size(), asideBefore.size() + 1);
            ++setAsideCount;
            for (const fs::path& path : asideAfter)
                if (!asideBefore.count(path)) {
                    EXPECT_EQ(readFile(path), before);
                }
        } else {
            EXPECT_EQ(asideAfter.size(), asideBefore.size());
        }
        if (previous && previous->corrections.size() < LearnedStore::kMaxCorrections) {
            std::set<std::string> ids;
            for (const auto& correction : after->corrections) ids.insert(correction.id);
            for (const auto& correction : previous->corrections)
                EXPECT_TRUE(ids.count(correction.id)) << correction.heard;
            ++keptCount;
        }
    }
    // The seed must reach both paths, or the checks above prove nothing.
    EXPECT_GT(setAsideCount, 3);
    EXPECT_GT(keptCount, 3);
}

}  // namespace
}  // namespace vesk

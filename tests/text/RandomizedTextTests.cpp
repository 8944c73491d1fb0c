// Randomized runs of the text pipeline: arbitrary text (malformed bytes included) and
// arbitrary, damaged or oversized data files must never crash it, and every result must
// keep the invariants the passes promise. Seeds are fixed, so a failure repeats. This is
// the one randomized suite of the text code: every call a fuzzer could reach (format,
// exact format, learned and snippet decoding and round trips, correction extraction, the
// whole pipeline over damaged data files) is driven here.
#include "support/RandomInput.h"
#include "support/TestEnvironment.h"
#include "text/ConfidenceLens.h"
#include "text/LearnedStore.h"
#include "text/MeaningGuard.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"
#include "text/TextPipeline.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

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
    int setAsideCount = 0, keptCount = 0;
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

        // Bias terms: few enough, trimmed, at least two characters, once ignoring case.
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
        const std::string before = fs::exists(learnedPath) ? home.readSupportFile("learned.json") : std::string();
        const auto previous = fs::exists(learnedPath) ? LearnedStore::decode(before) : std::nullopt;
        const bool damaged = fs::exists(learnedPath) && !previous;
        const auto asideBefore = setAsideFiles(home.supportDirectory());
        if (random.chance(0.5)) {
            LearnedStore::add(random.word(), random.word());
        } else {
            LearnedStore::addTerm(random.word());
        }
        if (!fs::exists(learnedPath)) continue;  // nothing worth learning, nothing written
        const auto after = LearnedStore::decode(home.readSupportFile("learned.json"));
        ASSERT_TRUE(after.has_value()) << "a save always leaves a readable file";
        EXPECT_LE(after->corrections.size(), LearnedStore::kMaxCorrections);
        EXPECT_LE(after->terms.size(), LearnedStore::kMaxTerms);
        std::set<fs::path> added;
        std::ranges::set_difference(setAsideFiles(home.supportDirectory()), asideBefore,
                                    std::inserter(added, added.end()));
        if (damaged && home.readSupportFile("learned.json") != before) {
            ASSERT_EQ(added.size(), 1u);
            EXPECT_EQ(home.readSupportFile(added.begin()->filename().string()), before);
            ++setAsideCount;
        } else {
            EXPECT_TRUE(added.empty());
        }
        if (previous && previous->corrections.size() < LearnedStore::kMaxCorrections) {
            std::set<std::string> ids;
            for (const auto& correction : after->corrections) ids.insert(correction.id);
            for (const auto& correction : previous->corrections) EXPECT_TRUE(ids.count(correction.id));
            ++keptCount;
        }
    }
    // The seed must reach both paths, or the checks above prove nothing.
    EXPECT_GT(setAsideCount, 3);
    EXPECT_GT(keptCount, 3);
}

// Dictation-like words full of details for the guard and the lens, mixed with other
// scripts, combining marks, emoji and malformed UTF-8.
const std::vector<std::string> kWords = [] {
    std::vector<std::string> words;
    std::istringstream in(
        "send Bjorn Bjørn Vandrel $1,250 Tuesday March NASA don't can't no never e.g. www.example.org/x "
        "anna@example.com 12:30 50% İstanbul Straße ΟΔΟΣ 数据库 e\u0301 \u0301 💡 👩‍💻 Ünïcödé "
        "x_y-z "
        "\xff "
        "\xe2\x82 "
        "Q "
        "ß");
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}();
constexpr const char* kSeparators[] = {" ",  " ",  " ",      "  ",     "\n", "\t", ". ", ", ",
                                       "! ", "? ", "\u00A0", "\u3000", "",   "-",  "'",  "\""};

std::string detailText(test::RandomInput& random, size_t maxWords) {
    std::string out;
    for (size_t n = random.below(maxWords + 1); n > 0; --n)
        out += kWords[random.below(kWords.size())] + random.pick(kSeparators);
    return out;
}

TEST(RandomizedText, GuardDetailsAreUniqueQuotesOfTheTextThatItKeeps) {
    test::RandomInput random(424242);
    for (int i = 0; i < 1500; ++i) {
        const std::string text = i % 2 == 0 ? detailText(random, 14) : random.mangledText(14);
        const auto details = MeaningGuard::protectedDetails(text);
        std::set<std::string> forms;
        for (const std::string& detail : details) {
            EXPECT_NE(text.find(detail), std::string::npos) << text;
            EXPECT_TRUE(forms.insert(MeaningGuard::comparisonForm(detail)).second) << text;
        }
        // A text never loses its own details or negation.
        EXPECT_TRUE(MeaningGuard::missingDetails(text, text).empty()) << text;
        // Against an empty rewrite, exactly the details with letters or digits go missing.
        const auto lost = MeaningGuard::missingDetails(text, "");
        for (const std::string& detail : lost)
            if (detail != "negation") {
                EXPECT_FALSE(MeaningGuard::comparisonForm(detail).empty()) << text;
            }
    }
}

TEST(RandomizedText, LensIssuesStayWithinTheirLimits) {
    test::RandomInput random(1337);
    for (int i = 0; i < 400; ++i) {
        std::vector<TranscriptRun> runs;
        for (size_t n = random.below(6); n > 0; --n) {
            std::optional<double> confidence;
            if (random.below(4) != 0) confidence = static_cast<double>(random.below(101)) / 100.0;
            runs.push_back({detailText(random, 3) + random.pick(kSeparators), confidence});
        }
        std::vector<std::string> alternatives;
        for (size_t n = random.below(3); n > 0; --n) alternatives.push_back(detailText(random, 10));
        if (random.below(2) == 0) alternatives.push_back(random.mangledText(8));
        const auto issues = ConfidenceLens::candidates(runs, alternatives);
        ASSERT_LE(issues.size(), ConfidenceLens::kIssueLimit);
        std::set<std::string> keys;
        for (size_t rank = 0; rank < issues.size(); ++rank) {
            const ConfidenceIssue& issue = issues[rank];
            const std::string key = ConfidenceLens::reviewKey(issue.heard);
            EXPECT_FALSE(key.empty());
            EXPECT_EQ(issue.id, std::to_string(rank) + "-" + key);
            EXPECT_TRUE(keys.insert(key).second);
            EXPECT_LE(issue.alternatives.size(), ConfidenceLens::kAlternativeLimit);
            EXPECT_LT(issue.confidence, ConfidenceLens::kCriticalThreshold);
            for (const std::string& alternative : issue.alternatives)
                EXPECT_NE(ConfidenceLens::spellingKey(alternative), ConfidenceLens::spellingKey(issue.heard));
        }
        // Merging a list with itself changes nothing.
        EXPECT_EQ(ConfidenceLens::merge({issues, issues}), issues);
    }
}

}  // namespace
}  // namespace vesk

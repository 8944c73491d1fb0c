// Randomised robustness checks for the guard and the lens: dictation-like text mixed
// with other scripts, combining marks, emoji and malformed UTF-8 never breaks them, and
// their results keep their promises.
#include "support/RandomInput.h"
#include "text/ConfidenceLens.h"
#include "text/MeaningGuard.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace vesk {
namespace {

class RandomText {
public:
    explicit RandomText(unsigned seed) : engine_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine_); }

    std::string word() {
        static const std::vector<std::string> words{"send",
                                                    "Bjorn",
                                                    "Bjørn",
                                                    "Vandrel",
                                                    "$1,250",
                                                    "Tuesday",
                                                    "March",
                                                    "NASA",
                                                    "don't",
                                                    "can't",
                                                    "no",
                                                    "never",
                                                    "e.g.",
                                                    "www.example.org/x",
                                                    "anna@example.com",
                                                    "12:30",
                                                    "50%",
                                                    "İstanbul",
                                                    "Straße",
                                                    "ΟΔΟΣ",
                                                    "数据库",
                                                    "e\u0301",
                                                    "\u0301",
                                                    "💡",
                                                    "👩‍💻",
                                                    "Ünïcödé",
                                                    "x_y-z",
                                                    "\xff",
                                                    "\xe2\x82",
                                                    "Q",
                                                    "ß"};
        return words[below(words.size())];
    }

    std::string separator() {
        static const std::vector<std::string> separators{" ",  " ",  " ",      "  ",     "\n", "\t", ". ", ", ",
                                                         "! ", "? ", "\u00A0", "\u3000", "",   "-",  "'",  "\""};
        return separators[below(separators.size())];
    }

    std::string text(size_t maxWords) {
        std::string out;
        for (size_t n = below(maxWords + 1); n > 0; --n) out += word() + separator();
        return out;
    }

    double confidence() { return static_cast<double>(below(101)) / 100.0; }

private:
    std::mt19937 engine_;
};

TEST(TextJudgementFuzz, GuardDetailsAreUniqueQuotesOfTheTextThatItKeeps) {
    RandomText random(424242);
    test::RandomInput shared(424242);
    for (int i = 0; i < 1500; ++i) {
        // Detail-heavy text, and the shared mix of scripts and malformed UTF-8.
        const std::string text = i % 2 == 0 ? random.text(14) : shared.mangledText(14);
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

TEST(TextJudgementFuzz, LensIssuesStayWithinTheirLimits) {
    RandomText random(1337);
    test::RandomInput shared(1337);
    for (int i = 0; i < 400; ++i) {
        std::vector<TranscriptRun> runs;
        for (size_t n = random.below(6); n > 0; --n) {
            std::optional<double> confidence;
            if (random.below(4) != 0) confidence = random.confidence();
            runs.push_back({random.text(3) + random.separator(), confidence});
        }
        std::vector<std::string> alternatives;
        for (size_t n = random.below(3); n > 0; --n) alternatives.push_back(random.text(10));
        if (random.below(2) == 0) alternatives.push_back(shared.mangledText(8));
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

#include "speech/HallucinationFilter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vesk::test {
namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> out;
    for (std::string word; stream >> word;) out.push_back(word);
    return out;
}

TEST(HallucinationFilter, CutsAPhraseThatLoopsToTheEndAndKeepsWhatPeopleSay) {
    const std::vector<std::pair<std::string, std::string>> rows{
        {"send the file thank you. thank you. Thank you.", "send the file thank you."},
        {"go go go", "go"},
        {"and then and then and then and then", "and then"},
        {"no, no", "no, no"},                            // said twice: a person's emphasis
        {"very very very good", "very very very good"},  // not at the end
        {"one two three four five six seven eight one two three four five six seven eight one two three four five "
         "six seven eight",
         "one two three four five six seven eight"},
        {"", ""},
        {"hello", "hello"},
    };
    for (const auto& [input, expected] : rows) {
        const auto all = words(input);
        const size_t kept = HallucinationFilter::keptWordCount(all);
        ASSERT_LE(kept, all.size());
        EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(kept)),
                  words(expected))
            << input;
    }
}

TEST(HallucinationFilter, CutsTextThatBeginsAfterTheSpeechEnded) {
    using HallucinationFilter::kSpeechEndTolerance;
    using HallucinationFilter::wordsBeforeSpeechEnd;
    // "Yes." spoken in the first 0.6 s of a 1 s stretch, then "Thank you." in the quiet.
    EXPECT_EQ(wordsBeforeSpeechEnd({0.1, 0.9, 0.95}, 0.6), 1u);
    // A word that begins just before or within the tolerance after the end was spoken.
    EXPECT_EQ(wordsBeforeSpeechEnd({0.1, 0.5, 0.6 + kSpeechEndTolerance * 0.9}, 0.6), 3u);
    // Everything after the first late word goes, even a word whose time went backwards.
    EXPECT_EQ(wordsBeforeSpeechEnd({0.1, 2.0, 0.3}, 0.6), 1u);
    // Text that begins after the speech ends entirely is all cut.
    EXPECT_EQ(wordsBeforeSpeechEnd({1.0, 1.2}, 0.5), 0u);
    EXPECT_EQ(wordsBeforeSpeechEnd({}, 0.5), 0u);
}

}  // namespace
}  // namespace vesk::test

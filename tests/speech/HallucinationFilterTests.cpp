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

}  // namespace
}  // namespace vesk::test

#include "speech/HallucinationFilter.h"

#include <algorithm>
#include <cctype>

namespace vesk::HallucinationFilter {

namespace {

constexpr size_t kLongestPhrase = 8;
constexpr size_t kCopiesThatLoop = 3;

std::string comparable(const std::string& word) {
    std::string out;
    for (const unsigned char c : word)
        if (std::isalnum(c) || c >= 0x80 || c == '\'') out += static_cast<char>(std::tolower(c));
    return out;
}

}  // namespace

size_t keptWordCount(const std::vector<std::string>& words) {
    std::vector<std::string> keys(words.size());
    std::transform(words.begin(), words.end(), keys.begin(), comparable);
    size_t kept = words.size();
    for (size_t length = 1; length <= kLongestPhrase; ++length) {
        // Count whole copies of the last `length` words, walking back from the end.
        size_t copies = 0;
        size_t start = keys.size();
        while (start >= length && std::equal(keys.end() - static_cast<std::ptrdiff_t>(length), keys.end(),
                                             keys.begin() + static_cast<std::ptrdiff_t>(start - length))) {
            start -= length;
            ++copies;
        }
        if (copies >= kCopiesThatLoop) kept = std::min(kept, start + length);
    }
    return kept;
}

size_t wordsBeforeSpeechEnd(const std::vector<double>& wordStarts, double speechEnd) {
    const auto after = std::find_if(wordStarts.begin(), wordStarts.end(),
                                    [&](double start) { return start >= speechEnd + kSpeechEndTolerance; });
    return static_cast<size_t>(after - wordStarts.begin());
}

}  // namespace vesk::HallucinationFilter

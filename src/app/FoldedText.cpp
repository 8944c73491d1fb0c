#include "app/FoldedText.h"

#include "text/Unicode.h"

#include <vector>

namespace vesk::folded {
namespace {

std::string fold(std::string_view text) { return unicode::foldCase(unicode::foldDiacritics(text)); }

}  // namespace

std::optional<std::pair<size_t, size_t>> find(std::string_view text, std::string_view needle) {
    const std::string foldedNeedle = fold(needle);
    if (foldedNeedle.empty()) return std::nullopt;
    // Fold character by character, remembering where each character starts in both forms,
    // so a match can be mapped back and must begin and end on character boundaries.
    std::string foldedText;
    std::vector<size_t> foldedStarts;    // per character, plus the end
    std::vector<size_t> originalStarts;  // per character, plus the end
    size_t offset = 0;
    for (const std::string& character : unicode::graphemes(text)) {
        foldedStarts.push_back(foldedText.size());
        originalStarts.push_back(offset);
        foldedText += fold(character);
        offset += character.size();
    }
    foldedStarts.push_back(foldedText.size());
    originalStarts.push_back(offset);

    for (size_t first = 0; first + 1 < foldedStarts.size(); ++first) {
        if (foldedText.compare(foldedStarts[first], foldedNeedle.size(), foldedNeedle) != 0) continue;
        const size_t end = foldedStarts[first] + foldedNeedle.size();
        for (size_t last = first + 1; last < foldedStarts.size() && foldedStarts[last] <= end; ++last)
            if (foldedStarts[last] == end) return std::pair{originalStarts[first], originalStarts[last]};
    }
    return std::nullopt;
}

std::string replaceFirst(std::string_view text, std::string_view needle, std::string_view replacement) {
    const auto range = find(text, needle);
    if (!range) return std::string(text);
    std::string result(text.substr(0, range->first));
    result += replacement;
    result += text.substr(range->second);
    return result;
}

}  // namespace vesk::folded

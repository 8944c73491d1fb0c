#include "text/Words.h"

#include "text/Unicode.h"

#include <unicode/uchar.h>

namespace vesk::words {

std::vector<std::string> splitAtWhitespace(std::string_view text) {
    std::vector<std::string> pieces;
    std::u32string current;
    for (const char32_t c : unicode::codePoints(text)) {
        if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE)) {
            if (!current.empty()) pieces.push_back(unicode::fromCodePoints(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) pieces.push_back(unicode::fromCodePoints(current));
    return pieces;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) out += separator;
        out += pieces[i];
    }
    return out;
}

std::string trimWhitespaceAndPunctuation(std::string_view text) {
    const std::u32string points = unicode::codePoints(text);
    const auto strip = [](char32_t c) {
        return unicode::isWhitespaceOrNewline(c) || unicode::isPunctuationCodePoint(c);
    };
    size_t first = 0;
    size_t last = points.size();
    while (first < last && strip(points[first])) ++first;
    while (last > first && strip(points[last - 1])) --last;
    return unicode::fromCodePoints(std::u32string_view(points).substr(first, last - first));
}

}  // namespace vesk::words

#include "text/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <stdexcept>

namespace vesk::unicode {
namespace {

icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string fromIcu(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// Byte offset in `utf8` of the UTF-16 index `index` of the same text.
class OffsetMap {
public:
    explicit OffsetMap(std::string_view utf8) {
        offsets_.reserve(utf8.size() + 1);
        int32_t i = 0;
        const auto length = static_cast<int32_t>(utf8.size());
        while (i < length) {
            const int32_t start = i;
            UChar32 c;
            U8_NEXT(utf8.data(), i, length, c);
            if (c < 0) c = 0xFFFD;
            offsets_.push_back(static_cast<size_t>(start));
            if (U16_LENGTH(c) == 2) offsets_.push_back(static_cast<size_t>(start));
        }
        offsets_.push_back(utf8.size());
    }
    size_t operator[](int32_t index) const { return offsets_[static_cast<size_t>(index)]; }

private:
    std::vector<size_t> offsets_;
};

template <typename Predicate>
std::string trim(std::string_view text, Predicate keep) {
    const std::u32string points = codePoints(text);
    size_t first = 0;
    size_t last = points.size();
    while (first < last && !keep(points[first])) ++first;
    while (last > first && !keep(points[last - 1])) --last;
    return fromCodePoints(std::u32string_view(points).substr(first, last - first));
}

}  // namespace

bool isWhitespaceOrNewline(char32_t c) {
    if (c >= 0x09 && c <= 0x0D) return true;
    if (c == 0x85) return true;
    const auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
    return (mask & U_GC_Z_MASK) != 0;
}

bool isHorizontalWhitespace(char32_t c) {
    return c == 0x09 || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isPunctuationCodePoint(char32_t c) { return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_P_MASK) != 0; }

std::string trimWhitespaceAndNewlines(std::string_view text) {
    return trim(text, [](char32_t c) { return !isWhitespaceOrNewline(c); });
}

std::string trimHorizontalWhitespace(std::string_view text) {
    return trim(text, [](char32_t c) { return !isHorizontalWhitespace(c); });
}

std::string trimPunctuation(std::string_view text) {
    return trim(text, [](char32_t c) { return !isPunctuationCodePoint(c); });
}

std::u32string codePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    while (i < length) {
        UChar32 c;
        U8_NEXT(text.data(), i, length, c);
        out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
    }
    return out;
}

std::string fromCodePoints(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        uint8_t buffer[4];
        int32_t length = 0;
        UBool error = false;
        U8_APPEND(buffer, length, 4, static_cast<UChar32>(c), error);
        if (error) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
        }
    }
    return out;
}

char32_t firstCodePoint(std::string_view text) {
    if (text.empty()) return 0;
    int32_t i = 0;
    UChar32 c;
    U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

std::vector<std::string> graphemes(std::string_view text) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    const icu::UnicodeString string = toIcu(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        for (const char32_t c : codePoints(text)) out.push_back(fromCodePoints(std::u32string_view(&c, 1)));
        return out;
    }
    it->setText(string);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next())
        out.push_back(fromIcu(icu::UnicodeString(string, start, end - start)));
    return out;
}

std::string toUpper(std::string_view text) { return fromIcu(toIcu(text).toUpper(icu::Locale::getRoot())); }
std::string toLower(std::string_view text) { return fromIcu(toIcu(text).toLower(icu::Locale::getRoot())); }
std::string foldCase(std::string_view text) { return fromIcu(toIcu(text).foldCase()); }

std::string foldDiacritics(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    const icu::UnicodeString decomposed = nfd->normalize(toIcu(text), status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) stripped.append(c);
        i += U16_LENGTH(c);
    }
    const icu::UnicodeString composed = nfc->normalize(stripped, status);
    return U_FAILURE(status) ? fromIcu(stripped) : fromIcu(composed);
}

bool isLetter(std::string_view character) {
    return !character.empty() && u_hasBinaryProperty(static_cast<UChar32>(firstCodePoint(character)), UCHAR_ALPHABETIC);
}

bool isNumber(std::string_view character) {
    return !character.empty() &&
           u_getIntPropertyValue(static_cast<UChar32>(firstCodePoint(character)), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isWhitespace(std::string_view character) {
    return !character.empty() &&
           u_hasBinaryProperty(static_cast<UChar32>(firstCodePoint(character)), UCHAR_WHITE_SPACE);
}

bool isUppercaseLetter(std::string_view character) {
    return !character.empty() && u_charType(static_cast<UChar32>(firstCodePoint(character))) == U_UPPERCASE_LETTER;
}

std::string escapePattern(std::string_view text) {
    static constexpr std::string_view kMeta = "\\*?+[](){}^$|./-#&~ ";
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        // Space and '#' matter only in free-spacing mode, '-', '&' and '~' only in sets;
        // escaping them anyway keeps the pattern literal in every mode.
        if (kMeta.find(c) != std::string_view::npos && c != ' ') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string escapeReplacement(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '$' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

Regex::Regex(std::string_view pattern) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    pattern_.reset(icu::RegexPattern::compile(toIcu(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !pattern_)
        throw std::invalid_argument("invalid regular expression: " + std::string(pattern) + " (" + u_errorName(status) +
                                    ")");
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = toIcu(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    if (U_FAILURE(status)) return std::string(text);
    const icu::UnicodeString result = matcher->replaceAll(toIcu(replacement), status);
    return U_FAILURE(status) ? std::string(text) : fromIcu(result);
}

std::string Regex::replaceAllLiteral(std::string_view text, std::string_view replacement) const {
    return replaceAll(text, escapeReplacement(replacement));
}

bool Regex::search(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = toIcu(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    return U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status);
}

std::vector<RegexMatch> Regex::matches(std::string_view text) const {
    std::vector<RegexMatch> out;
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = toIcu(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(input, status));
    if (U_FAILURE(status)) return out;
    const OffsetMap offsets(text);
    while (matcher->find(status) && U_SUCCESS(status)) {
        RegexMatch match;
        match.begin = offsets[matcher->start(status)];
        match.end = offsets[matcher->end(status)];
        for (int32_t g = 0; g <= matcher->groupCount(); ++g) {
            const int32_t start = matcher->start(g, status);
            if (start < 0) {
                match.groups.emplace_back();
                continue;
            }
            const size_t b = offsets[start];
            const size_t e = offsets[matcher->end(g, status)];
            match.groups.emplace_back(text.substr(b, e - b));
        }
        out.push_back(std::move(match));
    }
    return out;
}

std::string replaceAll(std::string_view text, std::string_view pattern, std::string_view replacement) {
    return Regex(pattern).replaceAll(text, replacement);
}

std::string replaceAllLiteral(std::string_view text, std::string_view pattern, std::string_view replacement) {
    return Regex(pattern).replaceAllLiteral(text, replacement);
}

}  // namespace vesk::unicode

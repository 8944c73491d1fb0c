#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

// The Unicode layer every piece of text logic uses: UTF-8 in, UTF-8 out, with ICU's
// semantics underneath. A "character" is an extended grapheme cluster; character-class
// tests look at the cluster's first code point.
namespace vesk::unicode {

// Trimming, from both ends.
std::string trimWhitespaceAndNewlines(std::string_view text);  // Z*, U+0009..U+000D, U+0085
std::string trimHorizontalWhitespace(std::string_view text);   // Zs and the tab
std::string trimPunctuation(std::string_view text);            // P*

// Membership tests for one code point, with the same sets as the trims above.
bool isWhitespaceOrNewline(char32_t c);
bool isHorizontalWhitespace(char32_t c);
bool isPunctuationCodePoint(char32_t c);

// User-perceived characters (extended grapheme clusters), in order.
std::vector<std::string> graphemes(std::string_view text);

// Code points of a UTF-8 text; invalid sequences become U+FFFD.
std::u32string codePoints(std::string_view text);
std::string fromCodePoints(std::u32string_view text);
char32_t firstCodePoint(std::string_view text);  // 0 for an empty text

// Full, locale-independent case mapping (ß upper-cases to "SS").
std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);
// Case folding for comparisons.
std::string foldCase(std::string_view text);
// Canonical decomposition with every non-spacing mark (Mn) removed, recomposed:
// "Bjørn" stays "Bjørn" (ø has no decomposition), "café" becomes "cafe".
std::string foldDiacritics(std::string_view text);

// Character classes by the first code point of `character`.
bool isLetter(std::string_view character);           // Alphabetic property
bool isNumber(std::string_view character);           // any numeric type
bool isWhitespace(std::string_view character);       // White_Space property
bool isUppercaseLetter(std::string_view character);  // general category Lu

// Escapes every regular-expression metacharacter so the text matches literally.
std::string escapePattern(std::string_view text);
// Escapes "$" and "\" so a replacement is inserted literally.
std::string escapeReplacement(std::string_view text);

struct RegexMatch {
    size_t begin = 0;  // byte offsets into the UTF-8 text
    size_t end = 0;
    std::vector<std::string> groups;  // group 0 is the whole match; unmatched groups are empty
};

// A compiled ICU regular expression. Compiling is the expensive part: keep one for as
// long as the pattern is used. A compiled pattern is immutable and may be shared
// between threads.
class Regex {
public:
    // Throws std::invalid_argument when the pattern does not compile.
    explicit Regex(std::string_view pattern);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;

    // Every non-overlapping match, left to right, replaced by `replacement`, in which
    // "$1" stands for a group and "\" escapes the next character.
    std::string replaceAll(std::string_view text, std::string_view replacement) const;
    // The same, with the replacement inserted exactly as given.
    std::string replaceAllLiteral(std::string_view text, std::string_view replacement) const;
    bool search(std::string_view text) const;
    std::vector<RegexMatch> matches(std::string_view text) const;

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

// One-off forms that compile the pattern for a single use.
std::string replaceAll(std::string_view text, std::string_view pattern, std::string_view replacement);
std::string replaceAllLiteral(std::string_view text, std::string_view pattern, std::string_view replacement);

}  // namespace vesk::unicode

#include "text/WholeWordReplacer.h"

#include "text/Unicode.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstring>
#include <memory>
#include <unordered_set>

namespace vesk {
namespace {

icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string fromIcu(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Full case folding. For ASCII it is plain lower-casing: no ASCII character folds to
// anything outside ASCII.
std::string folded(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return fromIcu(toIcu(text).foldCase(U_FOLD_CASE_DEFAULT));
}

size_t find(std::string_view haystack, std::string_view needle, size_t from) {
    if (from > haystack.size()) return std::string_view::npos;
    const void* hit = ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - haystack.data()) : std::string_view::npos;
}

// ICU's word characters, restricted to ASCII: letters, digits and the underscore.
bool isAsciiWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// ICU's \b at byte `position` of an ASCII text: a word character on exactly one side.
bool isAsciiWordBoundary(std::string_view text, size_t position) {
    const bool after = position < text.size() && isAsciiWordCharacter(text[position]);
    const bool before = position > 0 && isAsciiWordCharacter(text[position - 1]);
    return after != before;
}

// The complete words of a lower-cased ASCII text. A match of an ASCII phrase that
// starts with a word character begins at a word start, and the phrase's leading run of
// word characters then ends at a word end too (at the next character of the phrase, a
// non-word one, or at the closing boundary), so that run must be one of these words.
std::unordered_set<std::string_view> asciiWords(std::string_view foldedText) {
    std::unordered_set<std::string_view> words;
    size_t start = 0;
    for (size_t i = 0; i <= foldedText.size(); ++i) {
        if (i < foldedText.size() && isAsciiWordCharacter(foldedText[i])) continue;
        if (i > start) words.insert(foldedText.substr(start, i - start));
        start = i + 1;
    }
    return words;
}

std::string_view leadingWord(std::string_view foldedPhrase) {
    size_t length = 0;
    while (length < foldedPhrase.size() && isAsciiWordCharacter(foldedPhrase[length])) ++length;
    return foldedPhrase.substr(0, length);
}

// The pattern's work done by hand for ASCII text and an ASCII phrase, where matching
// ignoring case is comparing lower-cased bytes and a word boundary depends on two
// neighbouring bytes. Leftmost matches first, each search going on after the last match.
std::string replaceAscii(std::string_view text, std::string_view foldedText, std::string_view foldedPhrase,
                         std::string_view replacement, size_t firstCandidate) {
    std::string out;
    size_t copied = 0;
    for (size_t at = firstCandidate; at != std::string_view::npos; at = find(foldedText, foldedPhrase, at)) {
        const size_t end = at + foldedPhrase.size();
        if (!isAsciiWordBoundary(text, at) || !isAsciiWordBoundary(text, end)) {
            ++at;
            continue;
        }
        out.append(text.substr(copied, at - copied));
        out.append(replacement);
        copied = end;
        at = end;
    }
    if (copied == 0 && out.empty()) return std::string(text);
    out.append(text.substr(copied));
    return out;
}

// The general case: the rule's ICU pattern over the whole text.
std::string replaceWithPattern(const std::string& text, const WholeWordRule& rule) {
    const std::string pattern = "(?i)\\b" + unicode::escapePattern(rule.phrase) + "\\b";
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(toIcu(pattern), 0, parseError, status));
    if (U_FAILURE(status)) return text;
    const icu::UnicodeString input = toIcu(text);
    const std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) return text;
    const icu::UnicodeString replaced =
        matcher->replaceAll(toIcu(unicode::escapeReplacement(rule.replacement)), status);
    return U_FAILURE(status) ? text : fromIcu(replaced);
}

}  // namespace

std::string replaceWholeWords(std::string_view text, std::span<const WholeWordRule> rules) {
    bool anyRule = false;
    for (const WholeWordRule& rule : rules) anyRule = anyRule || !rule.phrase.empty();
    if (!anyRule) return std::string(text);

    // Malformed bytes become U+FFFD exactly as the pattern engine would turn them.
    std::string current = isAscii(text) ? std::string(text) : fromIcu(toIcu(text));
    std::string currentFolded;
    std::unordered_set<std::string_view> currentWords;
    bool currentIsAscii = false;
    bool foldedIsStale = true;

    for (const WholeWordRule& rule : rules) {
        if (rule.phrase.empty()) continue;
        if (foldedIsStale) {
            currentWords.clear();
            currentIsAscii = isAscii(current);
            currentFolded = folded(current);
            if (currentIsAscii) currentWords = asciiWords(currentFolded);
            foldedIsStale = false;
        }
        const std::string foldedPhrase = folded(rule.phrase);
        const bool asciiOnly = currentIsAscii && isAscii(rule.phrase);
        if (asciiOnly) {
            const std::string_view word = leadingWord(foldedPhrase);
            if (!word.empty() && !currentWords.contains(word)) continue;
        }
        const size_t firstCandidate = find(currentFolded, foldedPhrase, 0);
        if (firstCandidate == std::string::npos) continue;

        std::string replaced = asciiOnly
                                   ? replaceAscii(current, currentFolded, foldedPhrase, rule.replacement, firstCandidate)
                                   : replaceWithPattern(current, rule);
        if (replaced != current) {
            current = std::move(replaced);
            foldedIsStale = true;
        }
    }
    return current;
}

std::size_t characterCount(std::string_view text) {
    bool plain = true;
    for (const char c : text) plain = plain && static_cast<unsigned char>(c) < 0x80 && c != '\r';
    return plain ? text.size() : unicode::graphemes(text).size();
}

}  // namespace vesk

#include "text/WholeWordReplacer.h"

#include "text/Unicode.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

namespace vesk {
namespace {

icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

icu::UnicodeString folded(const icu::UnicodeString& text) {
    icu::UnicodeString copy(text);
    copy.foldCase(U_FOLD_CASE_DEFAULT);
    return copy;
}

// The rule's pattern, or nothing when it does not compile (it always should: the phrase
// is escaped).
std::unique_ptr<icu::RegexPattern> compileRule(std::string_view phrase) {
    const std::string pattern = "(?i)\\b" + unicode::escapePattern(phrase) + "\\b";
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(toIcu(pattern), 0, parseError, status));
    if (U_FAILURE(status)) return nullptr;
    return compiled;
}

}  // namespace

std::string replaceWholeWords(std::string_view text, std::span<const WholeWordRule> rules) {
    bool anyRule = false;
    for (const WholeWordRule& rule : rules) anyRule = anyRule || !rule.phrase.empty();
    if (!anyRule) return std::string(text);

    icu::UnicodeString current = toIcu(text);
    icu::UnicodeString currentFolded = folded(current);
    bool foldedIsStale = false;

    for (const WholeWordRule& rule : rules) {
        if (rule.phrase.empty()) continue;
        if (foldedIsStale) {
            currentFolded = folded(current);
            foldedIsStale = false;
        }
        if (currentFolded.indexOf(folded(toIcu(rule.phrase))) < 0) continue;

        const auto pattern = compileRule(rule.phrase);
        if (!pattern) continue;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(current, status));
        if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) continue;
        icu::UnicodeString replaced =
            matcher->replaceAll(toIcu(unicode::escapeReplacement(rule.replacement)), status);
        if (U_FAILURE(status)) continue;
        // The matcher reads `current`; release it before the text it points at changes.
        matcher.reset();
        current = std::move(replaced);
        foldedIsStale = true;
    }

    std::string out;
    current.toUTF8String(out);
    return out;
}

std::size_t characterCount(std::string_view text) {
    bool plain = true;
    for (const char c : text) plain = plain && static_cast<unsigned char>(c) < 0x80 && c != '\r';
    return plain ? text.size() : unicode::graphemes(text).size();
}

}  // namespace vesk

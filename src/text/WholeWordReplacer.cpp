#include "text/WholeWordReplacer.h"

#include "text/IcuText.h"
#include "text/Unicode.h"

#include <unicode/regex.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace vesk {
namespace {

using icutext::asciiLowered;
using icutext::fromIcu;
using icutext::isAscii;
using icutext::toIcu;
using icutext::validUtf8;

// Full case folding. For ASCII it is plain lower-casing: no ASCII character folds to
// anything outside ASCII.
std::string folded(std::string_view text) {
    if (isAscii(text)) return asciiLowered(text);
    return fromIcu(toIcu(text).foldCase(U_FOLD_CASE_DEFAULT));
}

size_t findBytes(std::string_view haystack, std::string_view needle, size_t from) {
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

struct WordHash {
    using is_transparent = void;
    size_t operator()(std::string_view word) const { return std::hash<std::string_view>{}(word); }
};
using WordSet = std::unordered_set<std::string, WordHash, std::equal_to<>>;

// Adds every maximal run of word characters in `foldedText`.
void addWords(std::string_view foldedText, WordSet& words) {
    size_t start = 0;
    for (size_t i = 0; i <= foldedText.size(); ++i) {
        if (i < foldedText.size() && isAsciiWordCharacter(foldedText[i])) continue;
        if (i > start) words.emplace(foldedText.substr(start, i - start));
        start = i + 1;
    }
}

std::string_view leadingWord(std::string_view foldedPhrase) {
    size_t length = 0;
    while (length < foldedPhrase.size() && isAsciiWordCharacter(foldedPhrase[length])) ++length;
    return foldedPhrase.substr(0, length);
}

// Replacement after replacement, the text as it stands with its case-folded form and,
// while it is plain ASCII, the words it may contain.
class WorkingText {
public:
    explicit WorkingText(std::string_view text) : text_(validUtf8(text)) { refresh(); }

    std::string take() { return std::move(text_); }

    // Applies one rule. Most rules cannot match a given text; the checks first decide
    // that without the pattern engine.
    void apply(const WholeWordRule& rule) {
        const std::string foldedPhrase = folded(rule.phrase);
        const bool asciiOnly = ascii_ && isAscii(rule.phrase);
        if (asciiOnly) {
            // A match of a phrase that starts with a word character begins at a word
            // start, and the phrase's leading run of word characters ends at a word end
            // too (at the phrase's next character, a non-word one, or at the closing
            // boundary): that run must be one of the text's words.
            const std::string_view word = leadingWord(foldedPhrase);
            if (!word.empty() && !words_.contains(word)) return;
        }
        // Case folding maps each character on its own, so whatever the case-insensitive
        // pattern matches folds to a piece of the folded text.
        const size_t firstCandidate = findBytes(folded_, foldedPhrase, 0);
        if (firstCandidate == std::string::npos) return;
        if (asciiOnly) {
            replaceAscii(foldedPhrase, validUtf8(rule.replacement), firstCandidate);
        } else if (replaceWithPattern(rule)) {
            refresh();
        }
    }

private:
    void refresh() {
        ascii_ = isAscii(text_);
        folded_ = folded(text_);
        words_.clear();
        if (ascii_) addWords(folded_, words_);
    }

    // The pattern's work done by hand for ASCII text and an ASCII phrase, where matching
    // ignoring case is comparing lower-cased bytes and a word boundary depends on two
    // neighbouring bytes. Leftmost match first, each search going on after the last match.
    void replaceAscii(std::string_view foldedPhrase, const std::string& replacement, size_t firstCandidate) {
        const std::string foldedReplacement = folded(replacement);
        std::string out;
        std::string outFolded;
        std::vector<std::pair<size_t, size_t>> spliced;
        size_t copied = 0;
        for (size_t at = firstCandidate; at != std::string_view::npos; at = findBytes(folded_, foldedPhrase, at)) {
            const size_t end = at + foldedPhrase.size();
            if (!isAsciiWordBoundary(text_, at) || !isAsciiWordBoundary(text_, end)) {
                ++at;
                continue;
            }
            out.append(text_, copied, at - copied);
            outFolded.append(folded_, copied, at - copied);
            spliced.emplace_back(out.size(), out.size() + replacement.size());
            out.append(replacement);
            outFolded.append(foldedReplacement);
            copied = end;
            at = end;
        }
        if (spliced.empty()) return;
        out.append(text_, copied);
        outFolded.append(folded_, copied);
        text_ = std::move(out);
        folded_ = std::move(outFolded);
        ascii_ = ascii_ && isAscii(replacement);
        if (!ascii_) {
            words_.clear();
            return;
        }
        // Words away from the splices are as they were; those around them are new.
        for (auto [begin, end] : spliced) {
            while (begin > 0 && isAsciiWordCharacter(folded_[begin - 1])) --begin;
            while (end < folded_.size() && isAsciiWordCharacter(folded_[end])) ++end;
            addWords(std::string_view(folded_).substr(begin, end - begin), words_);
        }
    }

    // The general case: the rule's ICU pattern over the whole text.
    bool replaceWithPattern(const WholeWordRule& rule) {
        const std::string pattern = "(?i)\\b" + unicode::escapePattern(rule.phrase) + "\\b";
        UParseError parseError{};
        UErrorCode status = U_ZERO_ERROR;
        const std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(toIcu(pattern), 0, parseError, status));
        if (U_FAILURE(status)) return false;
        const icu::UnicodeString input = toIcu(text_);
        const std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
        if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) return false;
        const icu::UnicodeString replaced =
            matcher->replaceAll(toIcu(unicode::escapeReplacement(rule.replacement)), status);
        if (U_FAILURE(status)) return false;
        text_ = fromIcu(replaced);
        return true;
    }

    std::string text_;
    std::string folded_;
    bool ascii_ = false;
    WordSet words_;  // a superset of the complete words of `folded_`, while `ascii_`
};

// A rule's match in the text as given, in UTF-16 units (bytes, for ASCII text).
struct Candidate {
    int32_t start;
    int32_t end;
    size_t rule;
};

// Every match of `phrase` at any start, overlapping ones included, with ICU's pattern.
void addPatternMatches(const icu::UnicodeString& text, const WholeWordRule& rule, size_t index,
                       std::vector<Candidate>& candidates) {
    const std::string pattern = "(?i)\\b" + unicode::escapePattern(rule.phrase) + "\\b";
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(toIcu(pattern), 0, parseError, status));
    if (U_FAILURE(status)) return;
    const std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text, status));
    if (U_FAILURE(status)) return;
    int32_t from = 0;
    while (from < text.length() && matcher->find(from, status) && U_SUCCESS(status)) {
        const int32_t start = matcher->start(status);
        candidates.push_back({start, matcher->end(status), index});
        from = text.moveIndex32(start, 1);
    }
}

}  // namespace

std::string replaceWholeWordsInOnePass(std::string_view input, std::span<const WholeWordRule> rules) {
    bool anyRule = false;
    for (const WholeWordRule& rule : rules) anyRule = anyRule || !rule.phrase.empty();
    if (!anyRule) return std::string(input);

    const std::string text = validUtf8(input);
    const bool ascii = isAscii(text);
    const std::string foldedText = folded(text);
    WordSet words;
    if (ascii) addWords(foldedText, words);
    const icu::UnicodeString icuText = ascii ? icu::UnicodeString() : toIcu(text);

    // First every rule's matches in the unchanged text, with the same quick rejections
    // as replaceWholeWords; then one scan picks among them.
    std::vector<Candidate> candidates;
    for (size_t index = 0; index < rules.size(); ++index) {
        const WholeWordRule& rule = rules[index];
        if (rule.phrase.empty()) continue;
        const std::string foldedPhrase = folded(rule.phrase);
        const bool asciiOnly = ascii && isAscii(rule.phrase);
        if (asciiOnly) {
            const std::string_view word = leadingWord(foldedPhrase);
            if (!word.empty() && !words.contains(word)) continue;
        }
        const size_t first = findBytes(foldedText, foldedPhrase, 0);
        if (first == std::string::npos) continue;
        if (!asciiOnly) {
            addPatternMatches(ascii ? toIcu(text) : icuText, rule, index, candidates);
            continue;
        }
        for (size_t at = first; at != std::string::npos; at = findBytes(foldedText, foldedPhrase, at + 1)) {
            const size_t end = at + foldedPhrase.size();
            if (isAsciiWordBoundary(text, at) && isAsciiWordBoundary(text, end))
                candidates.push_back({static_cast<int32_t>(at), static_cast<int32_t>(end), index});
        }
    }
    if (candidates.empty()) return text;
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.start != b.start ? a.start < b.start : a.rule < b.rule;
    });

    if (ascii) {
        std::string out;
        size_t copied = 0;
        for (const Candidate& candidate : candidates) {
            const auto start = static_cast<size_t>(candidate.start);
            if (start < copied) continue;  // inside a match already taken, or a lesser rule there
            out.append(text, copied, start - copied).append(validUtf8(rules[candidate.rule].replacement));
            copied = static_cast<size_t>(candidate.end);
        }
        return out.append(text, copied);
    }
    icu::UnicodeString out;
    int32_t copied = 0;
    for (const Candidate& candidate : candidates) {
        if (candidate.start < copied) continue;
        out.append(icuText, copied, candidate.start - copied).append(toIcu(rules[candidate.rule].replacement));
        copied = candidate.end;
    }
    out.append(icuText, copied, icuText.length() - copied);
    return fromIcu(out);
}

std::string replaceWholeWords(std::string_view text, std::span<const WholeWordRule> rules) {
    bool anyRule = false;
    for (const WholeWordRule& rule : rules) anyRule = anyRule || !rule.phrase.empty();
    if (!anyRule) return std::string(text);

    WorkingText working(text);
    for (const WholeWordRule& rule : rules) {
        if (!rule.phrase.empty()) working.apply(rule);
    }
    return working.take();
}

std::size_t characterCount(std::string_view text) {
    bool plain = true;
    for (const char c : text) plain = plain && static_cast<unsigned char>(c) < 0x80 && c != '\r';
    return plain ? text.size() : unicode::graphemes(text).size();
}

}  // namespace vesk

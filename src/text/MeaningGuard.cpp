#include "text/MeaningGuard.h"

#include "text/Unicode.h"

#include <array>
#include <iostream>
#include <optional>
#include <unordered_set>
#include <utility>

namespace vesk::MeaningGuard {
namespace {

using unicode::Regex;

std::optional<Regex> compile(std::string_view pattern) {
    try {
        return Regex(pattern);
    } catch (const std::invalid_argument&) {
        // A detail kind that cannot be recognised simply protects nothing.
        return std::nullopt;
    }
}

// The seven detail kinds, in the order their matches are listed.
const std::vector<std::optional<Regex>>& detailPatterns() {
    static const std::vector<std::optional<Regex>> patterns = [] {
        std::vector<std::optional<Regex>> list;
        for (const char* pattern : {
                 R"((?i)\b(?:https?://|www\.)[^\s]+)",                                   // web address
                 R"(\b[\w.+-]+@[\w.-]+\.[A-Za-z]{2,}\b)",                                // e-mail address
                 R"([$€£¥]?\b\d[\d,.:/%-]*\b)",                                          // number, amount, time, date
                 R"(\b[A-Z]{2,}\b)",                                                     // acronym
                 R"(\b(?:Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday)\b)",  // weekday
                 R"(\b(?:January|February|March|April|May|June|July|August|September|October|November|December)\b)",
                 R"(\b[A-Z][a-z]+(?:\s+[A-Z][a-z]+)+\b)",  // run of capitalised words
             })
            list.push_back(compile(pattern));
        return list;
    }();
    return patterns;
}

const std::optional<Regex>& singleNamePattern() {
    static const std::optional<Regex> pattern = compile(R"(\b\p{Lu}[\p{L}\p{N}_-]{2,}\b)");
    return pattern;
}

// "can't" expands to "cannot", which must keep counting as a negation: "I can't attend"
// rewritten as "I can attend" has lost its meaning.
const std::optional<Regex>& negationPattern() {
    static const std::optional<Regex> pattern = compile(R"(\b(?:not|never|without|no|cannot)\b)");
    return pattern;
}

// A capitalised word right after a sentence end is ordinary capitalisation, not a name.
bool startsSentence(std::string_view text, size_t offset) {
    const std::string before = unicode::trimWhitespaceAndNewlines(text.substr(0, offset));
    if (before.empty()) return true;
    const char last = before.back();
    return last == '.' || last == '!' || last == '?';
}

void replaceEvery(std::string& text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string comparisonForm(std::string_view text) {
    std::string out;
    for (const std::string& character : unicode::graphemes(unicode::toLower(unicode::foldCase(text))))
        if (unicode::isLetter(character) || unicode::isNumber(character)) out += character;
    return out;
}

std::vector<std::string> protectedDetails(std::string_view text) {
    std::vector<std::string> collected;
    for (const auto& pattern : detailPatterns()) {
        if (!pattern) continue;
        for (auto& match : pattern->matches(text)) collected.push_back(std::move(match.groups[0]));
    }
    if (const auto& names = singleNamePattern()) {
        for (auto& match : names->matches(text))
            if (!startsSentence(text, match.begin)) collected.push_back(std::move(match.groups[0]));
    }

    std::vector<std::string> details;
    std::unordered_set<std::string> seen;
    for (auto& detail : collected)
        if (seen.insert(comparisonForm(detail)).second) details.push_back(std::move(detail));
    return details;
}

bool containsNegation(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kContractions{{
        {"don't", "do not"},
        {"doesn't", "does not"},
        {"didn't", "did not"},
        {"can't", "cannot"},
        {"won't", "will not"},
        {"isn't", "is not"},
        {"aren't", "are not"},
        {"shouldn't", "should not"},
        {"wouldn't", "would not"},
        {"couldn't", "could not"},
    }};
    std::string lowered = unicode::toLower(text);
    for (const auto& [contraction, expansion] : kContractions) replaceEvery(lowered, contraction, expansion);
    const auto& pattern = negationPattern();
    return pattern && pattern->search(lowered);
}

std::vector<std::string> missingDetails(std::string_view original, std::string_view rewritten) {
    // One run-together form of the whole rewrite, so "$1,250" is found in "1250 dollars".
    const std::string present = comparisonForm(rewritten);
    std::vector<std::string> missing;
    for (auto& detail : protectedDetails(original))
        if (present.find(comparisonForm(detail)) == std::string::npos) missing.push_back(std::move(detail));
    if (containsNegation(original) && !containsNegation(rewritten)) missing.emplace_back("negation");
    return missing;
}

bool runSelfTest() {
    const std::string original = "Tell Bjørn Vandrel not to spend $1,250 on Tuesday.";
    const bool faithfulKeepsAll = missingDetails(original, "Ask Bjørn Vandrel not to spend $1,250 on Tuesday.").empty();
    const bool vagueLosesSome = !missingDetails(original, "Ask the team to spend money this week.").empty();
    const bool respellingLosesName =
        !missingDetails(original, "Ask Bjorn Vandrel not to spend $1,250 on Tuesday.").empty();
    const bool passed = faithfulKeepsAll && vagueLosesSome && respellingLosesName;
    std::cout << (passed ? "PASS" : "FAIL") << ": critical-detail meaning lock" << std::endl;
    return passed;
}

}  // namespace vesk::MeaningGuard

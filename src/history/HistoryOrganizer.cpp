#include "history/HistoryOrganizer.h"

#include "text/Unicode.h"
#include "text/Words.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace vesk::HistoryOrganizer {
namespace {

const std::unordered_set<std::string_view>& stopWords() {
    static const std::unordered_set<std::string_view> words{
        "about",   "after",  "again", "also", "and",   "are",   "because", "been",  "before", "being", "but",  "can",
        "could",   "does",   "for",   "from", "have",  "how",   "into",    "just",  "like",   "make",  "more", "need",
        "please",  "should", "some",  "that", "the",   "their", "then",    "there", "these",  "they",  "this", "those",
        "through", "want",   "what",  "when", "where", "which", "while",   "with",  "would",  "you",   "your"};
    return words;
}

// Checked in this order; each must be followed by a space in the text.
constexpr std::array<std::string_view, 11> kRequestPrefixes{
    "please help me", "can you please", "could you please", "i would like to", "i'd like to", "please create",
    "please write",   "create a",       "create an",        "write a",         "write an"};

// Letters, marks and digits of any script.
bool isAlphanumeric(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

size_t characterCount(std::string_view text) {
    // Where no code point takes part in a special cluster rule (marks, joiners, Hangul
    // jamo, prepended signs), every code point is a character of its own; only other
    // text needs the full grapheme segmentation, which is costly to set up.
    const std::u32string points = unicode::codePoints(text);
    const bool plain = std::all_of(points.begin(), points.end(), [](char32_t c) {
        return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_OTHER;
    });
    return plain ? points.size() : unicode::graphemes(text).size();
}

std::string dropLeadingCharacters(std::string_view text, size_t count) {
    const auto characters = unicode::graphemes(text);
    std::string rest;
    for (size_t i = std::min(count, characters.size()); i < characters.size(); ++i) rest += characters[i];
    return rest;
}

std::string firstSentence(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of(".!?", start);
        if (end == std::string::npos) return text.substr(start);
        if (end > start) return text.substr(start, end - start);
        start = end + 1;
    }
    return text;  // nothing but sentence marks
}

}  // namespace

std::set<std::string> keywords(const HistoryEntry& entry) {
    const std::u32string text = unicode::codePoints(unicode::toLower(entry.transcript + " " + entry.renderedText));
    std::set<std::string> found;
    const auto keep = [&](std::u32string_view piece) {
        if (piece.empty()) return;
        std::string word = unicode::fromCodePoints(piece);
        if (characterCount(word) >= kMinimumKeywordLength && !stopWords().contains(word)) found.insert(std::move(word));
    };
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isAlphanumeric(text[i])) continue;
        keep(std::u32string_view(text).substr(start, i - start));
        start = i + 1;
    }
    keep(std::u32string_view(text).substr(start));
    return found;
}

namespace {

enum class Verdict { joins, parts, compareTopics };

Verdict byTime(const HistoryEntry& entry, const HistoryEntry& oldestMember) {
    const double gap = oldestMember.date - entry.date;
    if (gap <= kCloseGapSeconds) return Verdict::joins;
    if (gap > kTopicGapSeconds) return Verdict::parts;
    return Verdict::compareTopics;
}

bool sharesTopic(const std::set<std::string>& own, const std::set<std::string>& groupWords) {
    if (own.empty() || groupWords.empty()) return false;
    const auto shared = static_cast<size_t>(
        std::count_if(own.begin(), own.end(), [&](const std::string& word) { return groupWords.contains(word); }));
    if (shared < kMinimumSharedKeywords) return false;
    return static_cast<double>(shared) / static_cast<double>(std::min(groupWords.size(), own.size())) >=
           kMinimumOverlap;
}

}  // namespace

bool belongs(const HistoryEntry& entry, const std::vector<HistoryEntry>& group) {
    if (group.empty()) return false;
    const Verdict verdict = byTime(entry, group.back());
    if (verdict != Verdict::compareTopics) return verdict == Verdict::joins;
    std::set<std::string> groupWords;
    for (const HistoryEntry& member : group) groupWords.merge(keywords(member));
    return sharesTopic(keywords(entry), groupWords);
}

std::vector<HistoryProject> projects(const std::vector<HistoryEntry>& entries) {
    std::vector<HistoryEntry> sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const HistoryEntry& a, const HistoryEntry& b) { return a.date > b.date; });

    // The same decisions as `belongs`, with each entry's keywords found once and the
    // group's keywords kept up to date as it grows.
    std::vector<std::vector<HistoryEntry>> groups;
    std::set<std::string> groupWords;
    bool groupWordsKnown = false;
    for (HistoryEntry& entry : sorted) {
        bool joins = false;
        std::optional<std::set<std::string>> own;
        if (!groups.empty()) {
            const Verdict verdict = byTime(entry, groups.back().back());
            if (verdict == Verdict::compareTopics) {
                if (!groupWordsKnown) {
                    groupWords.clear();
                    for (const HistoryEntry& member : groups.back()) groupWords.merge(keywords(member));
                    groupWordsKnown = true;
                }
                own = keywords(entry);
                joins = sharesTopic(*own, groupWords);
            } else {
                joins = verdict == Verdict::joins;
            }
        }
        if (joins) {
            if (groupWordsKnown) groupWords.merge(own ? *own : keywords(entry));
            groups.back().push_back(std::move(entry));
        } else {
            groups.push_back({std::move(entry)});
            groupWordsKnown = false;
        }
    }

    std::vector<HistoryProject> result;
    result.reserve(groups.size());
    for (auto& group : groups) {
        HistoryProject project{group.front().id, entryTitle(group.front()), {}};
        project.entries = std::move(group);
        result.push_back(std::move(project));
    }
    return result;
}

std::string entryTitle(const HistoryEntry& entry) {
    std::string text = entry.renderedText;
    std::replace(text.begin(), text.end(), '\n', ' ');
    text = unicode::trimWhitespaceAndNewlines(words::join(words::splitAtWhitespace(text), " "));
    if (text.empty()) return kUntitled;

    const std::string lowered = unicode::toLower(text);
    for (const std::string_view prefix : kRequestPrefixes) {
        if (lowered.size() > prefix.size() && lowered.starts_with(prefix) && lowered[prefix.size()] == ' ') {
            text = unicode::trimWhitespaceAndNewlines(dropLeadingCharacters(text, characterCount(prefix)));
            break;
        }
    }

    auto titleWords = words::splitAtWhitespace(firstSentence(text));
    if (titleWords.size() > kTitleWordLimit) titleWords.resize(kTitleWordLimit);
    const std::string title = unicode::trimPunctuation(words::join(titleWords, " "));
    if (title.empty()) return kUntitled;

    const auto characters = unicode::graphemes(title);
    std::string result = unicode::toUpper(characters.front());
    for (size_t i = 1; i < characters.size(); ++i) result += characters[i];
    return result;
}

}  // namespace vesk::HistoryOrganizer

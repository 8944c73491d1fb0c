#include "text/ConfidenceLens.h"

#include "text/LearnedStore.h"
#include "text/Unicode.h"
#include "text/Words.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <unordered_set>

namespace vesk::ConfidenceLens {
namespace {

double urgency(const Candidate& candidate) {
    return (1.0 - candidate.confidence) + (candidate.isCritical ? kCriticalUrgency : 0.0);
}

std::string shortestDecimal(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string joined(const std::vector<std::string>& values, std::string_view separator) {
    return words::join(values, separator);
}

// Letters whose mark is drawn through them have no canonical decomposition, so removing
// combining marks leaves them alone; a review must still treat "Bjørn" and "Bjorn" as
// one word. Applied after case folding, so only the lower-case forms are needed.
std::string foldStrokeLetters(std::string_view text) {
    std::u32string points = unicode::codePoints(text);
    for (char32_t& c : points) {
        switch (c) {
            case U'\u00F8': c = U'o'; break;  // ø
            case U'\u0111': c = U'd'; break;  // đ
            case U'\u0142': c = U'l'; break;  // ł
            case U'\u0127': c = U'h'; break;  // ħ
            case U'\u0167': c = U't'; break;  // ŧ
            case U'\u0180': c = U'b'; break;  // ƀ
            case U'\u01E5': c = U'g'; break;  // ǥ
            case U'\u0268': c = U'i'; break;  // ɨ
            case U'\u01B6': c = U'z'; break;  // ƶ
            case U'\u0289': c = U'u'; break;  // ʉ
            default: break;
        }
    }
    return unicode::fromCodePoints(points);
}

}  // namespace

std::string spellingKey(std::string_view text) {
    const std::string folded = unicode::toLower(unicode::foldCase(words::trimWhitespaceAndPunctuation(text)));
    return words::join(words::splitAtWhitespace(folded), " ");
}

std::string reviewKey(std::string_view text) {
    const std::string folded = unicode::toLower(
        foldStrokeLetters(unicode::foldDiacritics(unicode::foldCase(words::trimWhitespaceAndPunctuation(text)))));
    return words::join(words::splitAtWhitespace(folded), " ");
}

void debug(std::string_view message) {
    const char* flag = std::getenv("VESK_DEBUG_CONFIDENCE");
    if (!flag || std::string_view(flag) != "1") return;
    std::cerr << "CONFIDENCE: " << message << '\n' << std::flush;
}

bool isCritical(std::string_view word, std::string_view text) {
    const auto characters = unicode::graphemes(word);
    if (std::any_of(characters.begin(), characters.end(), [](const std::string& c) { return unicode::isNumber(c); }))
        return true;

    size_t letters = 0;
    bool allUpper = true;
    for (const std::string& c : characters) {
        if (!unicode::isLetter(c)) continue;
        ++letters;
        allUpper = allUpper && unicode::isUppercaseLetter(c);
    }
    if (letters >= 2 && allUpper) return true;

    if (word.find('@') != std::string_view::npos || word.find("://") != std::string_view::npos) return true;

    if (characters.size() >= 10 && std::none_of(characters.begin(), characters.end(),
                                                [](const std::string& c) { return unicode::isWhitespace(c); }))
        return true;

    // A capitalised word is a name unless it merely opens the text.
    if (!characters.empty() && unicode::isUppercaseLetter(characters.front())) {
        const size_t at = text.find(word);
        return at != 0;
    }
    return false;
}

std::vector<std::string> unique(const std::vector<std::string>& values, std::string_view heard) {
    std::unordered_set<std::string> seen{spellingKey(heard)};
    std::vector<std::string> result;
    for (const std::string& value : values) {
        std::string trimmed = words::trimWhitespaceAndPunctuation(value);
        const std::string key = spellingKey(trimmed);
        if (key.empty() || !seen.insert(key).second) continue;
        result.push_back(std::move(trimmed));
    }
    return result;
}

std::vector<ConfidenceIssue> ranked(const std::vector<Candidate>& candidates) {
    std::vector<Candidate> merged;
    std::vector<std::string> keys;
    for (const Candidate& candidate : candidates) {
        const std::string key = reviewKey(candidate.heard);
        if (key.empty()) continue;
        const auto found = std::find(keys.begin(), keys.end(), key);
        if (found == keys.end()) {
            keys.push_back(key);
            merged.push_back(candidate);
            continue;
        }
        Candidate& stored = merged[static_cast<size_t>(found - keys.begin())];
        std::vector<std::string> alternatives = stored.alternatives;
        alternatives.insert(alternatives.end(), candidate.alternatives.begin(), candidate.alternatives.end());
        alternatives = unique(alternatives, candidate.heard);
        if (urgency(candidate) > urgency(stored)) {
            stored.heard = candidate.heard;
            stored.confidence = candidate.confidence;
            stored.isCritical = candidate.isCritical;
        } else {
            // The stored word stays; a spelling of it offered by the other report is no
            // alternative to itself.
            const std::string own = spellingKey(stored.heard);
            std::erase_if(alternatives, [&](const std::string& value) { return spellingKey(value) == own; });
        }
        stored.alternatives = std::move(alternatives);
    }

    std::vector<std::pair<Candidate, size_t>> order;  // candidate and its length in characters
    order.reserve(merged.size());
    for (Candidate& candidate : merged) {
        const size_t length = unicode::graphemes(candidate.heard).size();
        order.emplace_back(std::move(candidate), length);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        const double ua = urgency(a.first);
        const double ub = urgency(b.first);
        if (ua != ub) return ua > ub;
        return a.second > b.second;
    });

    std::vector<ConfidenceIssue> issues;
    for (size_t i = 0; i < order.size() && i < kIssueLimit; ++i) {
        Candidate& candidate = order[i].first;
        if (candidate.alternatives.size() > kAlternativeLimit) candidate.alternatives.resize(kAlternativeLimit);
        issues.push_back({std::to_string(i) + "-" + reviewKey(candidate.heard), std::move(candidate.heard),
                          std::move(candidate.alternatives), candidate.confidence, candidate.isCritical});
    }
    return issues;
}

std::vector<ConfidenceIssue> candidates(const std::vector<TranscriptRun>& transcript,
                                        const std::vector<std::string>& alternatives) {
    std::string plain;
    for (const TranscriptRun& run : transcript) plain += run.text;
    const std::string text = unicode::trimWhitespaceAndNewlines(plain);
    if (text.empty()) return {};

    const std::string textSpelling = spellingKey(text);
    std::vector<std::string> others;
    for (const std::string& alternative : alternatives) {
        if (spellingKey(alternative) == textSpelling) continue;
        if (unicode::trimWhitespaceAndNewlines(alternative).empty()) continue;
        others.push_back(alternative);
    }

    // The word-level differences to each alternative are the same for every run: found
    // once, when the first uncertain run needs them.
    std::optional<std::vector<CorrectionPair>> differences;
    const auto wordPairs = [&]() -> const std::vector<CorrectionPair>& {
        if (!differences) {
            differences.emplace();
            for (const std::string& alternative : others) {
                auto pairs = LearnedStore::extractCorrections(text, alternative);
                differences->insert(differences->end(), std::make_move_iterator(pairs.begin()),
                                    std::make_move_iterator(pairs.end()));
            }
        }
        return *differences;
    };

    std::vector<Candidate> found;
    for (const TranscriptRun& run : transcript) {
        if (!run.confidence) continue;
        const double confidence = *run.confidence;
        const std::string word = words::trimWhitespaceAndPunctuation(run.text);
        if (word.empty()) continue;
        debug("\"" + word + "\" confidence=" + shortestDecimal(confidence) + " alternatives=" + joined(others, " | "));

        const bool critical = isCritical(word, text);
        if (confidence >= (critical ? kCriticalThreshold : kThreshold)) continue;

        const std::string wordKey = reviewKey(word);
        std::vector<std::string> groupKeys;
        std::map<std::string, std::vector<const CorrectionPair*>> groups;
        for (const CorrectionPair& pair : wordPairs()) {
            const std::string heardKey = reviewKey(pair.heard);
            if (heardKey.empty() || wordKey.empty()) continue;
            if (heardKey.find(wordKey) == std::string::npos && wordKey.find(heardKey) == std::string::npos) continue;
            auto& group = groups[heardKey];
            if (group.empty()) groupKeys.push_back(heardKey);
            group.push_back(&pair);
        }

        if (groupKeys.empty()) {
            if (words::splitAtWhitespace(word).size() <= 4) found.push_back({word, {}, confidence, critical});
            continue;
        }
        for (const std::string& key : groupKeys) {
            const auto& group = groups[key];
            const std::string& heard = group.front()->heard;
            std::vector<std::string> intended;
            for (const CorrectionPair* pair : group) intended.push_back(pair->intended);
            found.push_back({words::trimWhitespaceAndPunctuation(heard), unique(intended, heard), confidence,
                             isCritical(heard, text)});
        }
    }
    return ranked(found);
}

std::vector<ConfidenceIssue> merge(const std::vector<std::vector<ConfidenceIssue>>& issueLists) {
    std::vector<Candidate> all;
    for (const auto& list : issueLists)
        for (const ConfidenceIssue& issue : list)
            all.push_back({issue.heard, issue.alternatives, issue.confidence, issue.isCritical});
    return ranked(all);
}

bool runSelfTest() {
    const std::vector<TranscriptRun> transcript{{"Send 5 files to Bjorn.", 0.42}};
    const auto issues = candidates(transcript, {"Send 5 files to Bjørn.", "Send 5 files to Bjarn."});
    const bool single = issues.size() == 1 && issues[0].heard == "Bjorn" &&
                        issues[0].alternatives == std::vector<std::string>{"Bjørn", "Bjarn"} &&
                        issues[0].confidence == 0.42 && issues[0].isCritical && issues[0].id == "0-bjorn";

    const auto merged = merge({issues, issues, issues, issues});
    const bool mergedKeepsName =
        merged.size() <= kIssueLimit && std::any_of(merged.begin(), merged.end(), [](const ConfidenceIssue& issue) {
            const bool named = unicode::toLower(issue.heard).find("bjorn") != std::string::npos;
            return named &&
                   std::find(issue.alternatives.begin(), issue.alternatives.end(), "Bjørn") != issue.alternatives.end();
        });

    const bool passed = single && mergedKeepsName;
    std::cout << (passed ? "PASS" : "FAIL") << ": confidence lens review ranking" << std::endl;
    return passed;
}

}  // namespace vesk::ConfidenceLens

#include "speech/ConfidenceReview.h"

#include "text/Unicode.h"

#include <algorithm>
#include <map>

namespace vesk::speech {

namespace {

constexpr double kThreshold = 0.72;
constexpr size_t kMaxIssues = 3;
constexpr size_t kMaxAlternatives = 2;

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') {
            if (!current.empty()) out.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.push_back(std::move(current));
    return out;
}

std::string key(const std::string& word) { return unicode::foldCase(unicode::trimWhitespaceAndNewlines(word)); }

// What the alternative says in place of word `index` of `heard`: the words between the
// nearest shared words on either side (longest common subsequence alignment).
std::string replacementFor(const std::vector<std::string>& heard, const std::vector<std::string>& other, size_t index) {
    const size_t n = heard.size(), m = other.size();
    std::vector<std::vector<size_t>> lcs(n + 1, std::vector<size_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            lcs[i][j] = key(heard[i]) == key(other[j]) ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::vector<long> matchOf(n, -1);
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (key(heard[i]) == key(other[j])) {
            matchOf[i] = static_cast<long>(j);
            ++i, ++j;
        } else if (lcs[i + 1][j] >= lcs[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    if (matchOf[index] >= 0) return {};
    long before = -1;
    for (size_t i = index; i-- > 0;)
        if (matchOf[i] >= 0) {
            before = matchOf[i];
            break;
        }
    long after = static_cast<long>(m);
    for (size_t i = index + 1; i < n; ++i)
        if (matchOf[i] >= 0) {
            after = matchOf[i];
            break;
        }
    std::string replacement;
    for (long j = before + 1; j < after; ++j)
        replacement += (replacement.empty() ? "" : " ") + other[static_cast<size_t>(j)];
    return replacement;
}

bool looksCritical(const std::string& word) {
    return std::any_of(word.begin(), word.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }) ||
           word.size() >= 10;
}

std::vector<ConfidenceIssue> ranked(std::vector<ConfidenceIssue> issues) {
    std::vector<ConfidenceIssue> merged;
    for (auto& issue : issues) {
        auto same =
            std::find_if(merged.begin(), merged.end(), [&](const auto& m) { return key(m.heard) == key(issue.heard); });
        if (same == merged.end()) {
            merged.push_back(std::move(issue));
            continue;
        }
        for (const auto& alternative : issue.alternatives)
            if (std::find(same->alternatives.begin(), same->alternatives.end(), alternative) ==
                same->alternatives.end())
                same->alternatives.push_back(alternative);
        same->confidence = std::min(same->confidence, issue.confidence);
    }
    auto urgency = [](const ConfidenceIssue& i) { return 1.0 - i.confidence + (i.isCritical ? 0.24 : 0.0); };
    std::stable_sort(merged.begin(), merged.end(),
                     [&](const auto& a, const auto& b) { return urgency(a) > urgency(b); });
    if (merged.size() > kMaxIssues) merged.resize(kMaxIssues);
    for (size_t i = 0; i < merged.size(); ++i) {
        if (merged[i].alternatives.size() > kMaxAlternatives) merged[i].alternatives.resize(kMaxAlternatives);
        merged[i].id = std::to_string(i) + "-" + key(merged[i].heard);
    }
    return merged;
}

}  // namespace

std::vector<ConfidenceIssue> reviewCandidates(const RecognizedText& text,
                                              const std::vector<RecognizedText>& alternatives) {
    const std::vector<std::string> heardWords = words(text.plainText());
    std::vector<std::vector<std::string>> otherWords;
    for (const auto& alternative : alternatives) otherWords.push_back(words(alternative.plainText()));
    std::vector<ConfidenceIssue> issues;
    size_t wordIndex = 0;
    for (const TextRun& run : text.runs) {
        const auto runWords = words(run.text);
        if (run.confidence && *run.confidence < kThreshold && runWords.size() == 1) {
            ConfidenceIssue issue{{}, runWords.front(), {}, *run.confidence, looksCritical(runWords.front())};
            for (const auto& other : otherWords) {
                const std::string replacement = replacementFor(heardWords, other, wordIndex);
                if (!replacement.empty() && key(replacement) != key(issue.heard) &&
                    std::find(issue.alternatives.begin(), issue.alternatives.end(), replacement) ==
                        issue.alternatives.end())
                    issue.alternatives.push_back(replacement);
            }
            issues.push_back(std::move(issue));
        }
        wordIndex += runWords.size();
    }
    return ranked(std::move(issues));
}

std::vector<ConfidenceIssue> mergeReview(const std::vector<std::vector<ConfidenceIssue>>& groups) {
    std::vector<ConfidenceIssue> all;
    for (const auto& group : groups) all.insert(all.end(), group.begin(), group.end());
    return ranked(std::move(all));
}

}  // namespace vesk::speech

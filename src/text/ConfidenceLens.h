#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// One word the person should look at: the recognizer was unsure of it.
struct ConfidenceIssue {
    std::string id;                         // rank, "-", review key of `heard` ("0-bjorn")
    std::string heard;                      // as written in the transcript, trimmed of spaces and punctuation
    std::vector<std::string> alternatives;  // at most 2 other spellings, first seen first
    double confidence = 0;                  // 0 to 1
    bool isCritical = false;                // looks like a literal detail

    bool operator==(const ConfidenceIssue&) const = default;
};

// A transcript with its few uncertain words, most urgent first (at most 3).
struct DetailedTranscription {
    std::string text;
    std::vector<ConfidenceIssue> confidenceIssues;

    bool operator==(const DetailedTranscription&) const = default;
};

// A piece of recognized text and, when the recognizer gave one, its confidence.
struct TranscriptRun {
    std::string text;
    std::optional<double> confidence;

    bool operator==(const TranscriptRun&) const = default;
};

// Finds the few words of a transcript worth reviewing: runs the recognizer scored low,
// with the other spellings its alternative transcripts offer. Deterministic; the only
// side effect is the optional trace enabled by VESK_DEBUG_CONFIDENCE=1.
namespace ConfidenceLens {

// A working record before ranking.
struct Candidate {
    std::string heard;
    std::vector<std::string> alternatives;
    double confidence = 0;
    bool isCritical = false;
};

inline constexpr double kThreshold = 0.72;          // runs below it are reported
inline constexpr double kCriticalThreshold = 0.88;  // the same, for literal details
inline constexpr double kCriticalUrgency = 0.24;
inline constexpr size_t kIssueLimit = 3;
inline constexpr size_t kAlternativeLimit = 2;

// At most 3 issues for one recognized segment: its runs and its alternative texts.
std::vector<ConfidenceIssue> candidates(const std::vector<TranscriptRun>& transcript,
                                        const std::vector<std::string>& alternatives);

// Combines the issues of several segments into at most 3.
std::vector<ConfidenceIssue> merge(const std::vector<std::vector<ConfidenceIssue>>& issueLists);

// Candidates merged by review key, most urgent first, the first 3 as issues.
std::vector<ConfidenceIssue> ranked(const std::vector<Candidate>& candidates);

// The values trimmed, without empty ones, without repeats and without `heard`, compared
// with case folded but diacritics kept.
std::vector<std::string> unique(const std::vector<std::string>& values, std::string_view heard);

// Whether the word looks like a literal detail: a number, an acronym, an address, a
// long token, or a capitalised word that is not just the text's first word.
bool isCritical(std::string_view word, std::string_view text);

// Trimmed, case- and diacritic-folded, lower-cased, single-spaced: "Bjørn." gives "bjorn".
std::string reviewKey(std::string_view text);
// The same with diacritics kept: "Bjørn" gives "bjørn".
std::string spellingKey(std::string_view text);

// Writes "CONFIDENCE: <message>" to standard error when VESK_DEBUG_CONFIDENCE is "1".
void debug(std::string_view message);

// Prints "PASS: confidence lens review ranking" or "FAIL: ..." and returns the verdict.
bool runSelfTest();

}  // namespace ConfidenceLens
}  // namespace vesk

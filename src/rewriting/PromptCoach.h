#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// How good a dictated request is as a prompt for an assistant, and the text to deliver.
struct PromptAssessment {
    std::string original;                  // the request, trimmed of white space and line breaks
    std::string improved;                  // the text to deliver
    int score = 25;                        // 25 to 100
    std::vector<std::string> suggestions;  // coaching tips, in fixed order; empty when nothing is missing

    bool operator==(const PromptAssessment&) const = default;
};

// Judges and shapes dictated requests. The word-list assessment here is pure; rewriting
// through the language model builds on it.
namespace PromptCoach {

// Signal words, lower case, matched as whole words or phrases.
inline constexpr std::array<std::string_view, 21> goalTerms{
    "help", "create", "write", "explain", "compare", "analyze", "plan", "review", "fix",    "summarize", "brainstorm",
    "find", "show",   "tell",  "what",    "why",     "how",     "when", "where",  "should", "can"};
inline constexpr std::array<std::string_view, 13> constraintTerms{"must",    "should",  "without",   "avoid",  "limit",
                                                                  "maximum", "minimum", "deadline",  "budget", "only",
                                                                  "do not",  "don't",   "constraint"};
inline constexpr std::array<std::string_view, 14> outputTerms{"list", "table",   "steps",          "bullet",  "format",
                                                              "json", "email",   "draft",          "summary", "outline",
                                                              "code", "example", "recommendation", "answer"};

// True as soon as one term occurs in `text` as a whole word or phrase (case-sensitive:
// callers pass lower-cased text). Terms are tried in order.
bool containsAny(std::span<const std::string_view> terms, std::string_view text);

// Scores the request from 25 to 100, lists what is missing and builds a scaffolded
// fallback that asks for a clear answer and, for short requests, a clarifying question.
PromptAssessment assess(std::string_view text);

// Prints "PASS: prompt assessment" or "FAIL: prompt assessment" and returns the verdict.
bool runSelfTest();

}  // namespace PromptCoach
}  // namespace vesk

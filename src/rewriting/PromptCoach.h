#pragma once

#include <QCoro/QCoroTask>

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

class RewriteService;

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

// The instructions for the prompt output mode. The detail line follows directly.
inline constexpr std::string_view kPromptInstruction =
    "Rewrite the user's spoken draft as a strong prompt for ChatGPT.\n"
    "Preserve the user's actual intent, facts, names, language, and constraints.\n"
    "Make the goal explicit and organize only useful context. Remove filler,\n"
    "false starts, repetition, conversational asides, and abandoned thoughts.\n"
    "When the speaker corrects themself, keep the final correction and remove\n"
    "the superseded wording. State the requested output clearly when implied.\n"
    "Do not answer the prompt. Do not invent facts, requirements, or preferences.\n"
    "If a missing detail would materially change the result, tell ChatGPT to ask\n"
    "one concise clarifying question before proceeding.\n"
    "Keep the prompt natural and no longer than necessary.\n";

// The instructions for the clean output mode. The detail line follows directly.
inline constexpr std::string_view kCleanInstruction =
    "Turn the user's spoken words into natural written language.\n"
    "Preserve their meaning, voice, level of detail, ordering, decisions,\n"
    "facts, names, constraints, and final self-corrections. Remove filler,\n"
    "false starts, accidental repetition, abandoned wording, and purely\n"
    "conversational asides. Fix grammar and punctuation only where needed.\n"
    "Do not summarize, reorganize, add prompt scaffolding, infer a request,\n"
    "introduce new facts, or answer the user. Keep approximately the same\n"
    "length unless repetition or abandoned speech makes that unnecessary.\n";

// "Preserve these critical details exactly: " and the meaning guard's details of
// `original` joined by " | ", or "No critical literal details were detected." when it
// has none.
std::string detailLine(std::string_view original);

// The prompt output mode: the assessment of `text` with `improved` replaced by the
// model's rewrite under the prompt instruction, when the model is available, answers,
// and keeps every protected detail; otherwise the assessment with its scaffold. Score and
// suggestions always describe the request as spoken. Never fails. `engine` must outlive
// the task.
QCoro::Task<PromptAssessment> improve(std::string text, RewriteService& engine);

// The clean output mode: the same under the clean instruction, except that every
// fallback delivers the trimmed dictation itself rather than the scaffold. Empty input
// returns the assessment unchanged without asking the model. Never fails.
QCoro::Task<PromptAssessment> clean(std::string text, RewriteService& engine);

// Prints "PASS: prompt assessment" or "FAIL: prompt assessment" and returns the verdict.
bool runSelfTest();

}  // namespace PromptCoach
}  // namespace vesk

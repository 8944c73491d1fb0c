#include "rewriting/PromptCoach.h"

#include "core/Log.h"
#include "rewriting/RewriteService.h"
#include "text/MeaningGuard.h"
#include "text/Unicode.h"
#include "text/Words.h"

#include <exception>
#include <iostream>

namespace vesk::PromptCoach {
namespace {

std::vector<unicode::Regex> wholeWordPatterns(std::span<const std::string_view> terms) {
    std::vector<unicode::Regex> patterns;
    patterns.reserve(terms.size());
    for (const std::string_view term : terms) patterns.emplace_back("\\b" + unicode::escapePattern(term) + "\\b");
    return patterns;
}

bool anyMatches(const std::vector<unicode::Regex>& patterns, std::string_view text) {
    for (const auto& pattern : patterns)
        if (pattern.search(text)) return true;
    return false;
}

// The three fixed lists are compiled once; assessing runs on every dictation.
const std::vector<unicode::Regex>& goalPatterns() {
    static const auto patterns = wholeWordPatterns(goalTerms);
    return patterns;
}
const std::vector<unicode::Regex>& constraintPatterns() {
    static const auto patterns = wholeWordPatterns(constraintTerms);
    return patterns;
}
const std::vector<unicode::Regex>& outputPatterns() {
    static const auto patterns = wholeWordPatterns(outputTerms);
    return patterns;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += parts[i];
    }
    return text;
}

enum class Fallback { scaffold, dictation };

// The shared flow of both output modes: ask the model under `instruction` plus the detail
// line, and keep its rewrite only when it is not empty and lost no protected detail.
QCoro::Task<PromptAssessment> rewriteWithFallback(std::string text, RewriteService& engine,
                                                  std::string_view instruction, Fallback kind) {
    PromptAssessment assessment = assess(text);
    if (assessment.original.empty()) co_return assessment;
    PromptAssessment fallback = assessment;
    if (kind == Fallback::dictation) fallback.improved = assessment.original;
    if (engine.availabilityNote()) co_return fallback;

    const std::string instructions = std::string(instruction) + detailLine(assessment.original);
    std::string rewritten;
    bool failed = false;
    try {
        rewritten = co_await engine.rewrite(assessment.original, instructions);
    } catch (const std::exception& error) {
        logInfo(std::string("Project Vesk rewrite failed, using the fallback: ") + error.what());
        failed = true;
    } catch (...) {
        logInfo("Project Vesk rewrite failed, using the fallback");
        failed = true;
    }
    if (failed || rewritten.empty()) co_return fallback;
    const std::vector<std::string> missing = MeaningGuard::missingDetails(assessment.original, rewritten);
    if (!missing.empty()) {
        logInfo("Project Vesk rewrite discarded, it lost: " + joined(missing, " | "));
        co_return fallback;
    }
    assessment.improved = std::move(rewritten);
    co_return assessment;
}

}  // namespace

std::string detailLine(std::string_view original) {
    const std::vector<std::string> details = MeaningGuard::protectedDetails(original);
    if (details.empty()) return "No critical literal details were detected.";
    return "Preserve these critical details exactly: " + joined(details, " | ");
}

QCoro::Task<PromptAssessment> improve(std::string text, RewriteService& engine) {
    return rewriteWithFallback(std::move(text), engine, kPromptInstruction, Fallback::scaffold);
}

QCoro::Task<PromptAssessment> clean(std::string text, RewriteService& engine) {
    return rewriteWithFallback(std::move(text), engine, kCleanInstruction, Fallback::dictation);
}

bool containsAny(std::span<const std::string_view> terms, std::string_view text) {
    return anyMatches(wholeWordPatterns(terms), text);
}

PromptAssessment assess(std::string_view text) {
    PromptAssessment result;
    result.original = unicode::trimWhitespaceAndNewlines(text);
    const std::string& request = result.original;
    const std::string lowered = unicode::toLower(request);
    const size_t wordCount = words::splitAtWhitespace(request).size();

    const bool goal = anyMatches(goalPatterns(), lowered) || request.find('?') != std::string::npos;
    const bool constraint = anyMatches(constraintPatterns(), lowered);
    const bool format = anyMatches(outputPatterns(), lowered);
    const bool longEnough = wordCount >= 12;

    result.score = 25 + (goal ? 30 : 0) + (longEnough ? 20 : 0) + (constraint ? 15 : 0) + (format ? 10 : 0);

    if (!goal) result.suggestions.emplace_back("State the specific outcome you want.");
    if (!longEnough) result.suggestions.emplace_back("Add the context ChatGPT needs to make a good decision.");
    if (!constraint) result.suggestions.emplace_back("Mention any limits, priorities, or things to avoid.");
    if (!format) result.suggestions.emplace_back("Say what the answer should look like.");

    std::string improved = request;
    if (!improved.empty()) {
        if (!goal) improved = "Please help me with the following:\n\n" + improved;
        if (!format) improved += "\n\nReturn a clear, actionable response.";
        if (!longEnough)
            improved +=
                "\nIf a missing detail would materially change the answer, ask me one concise clarifying "
                "question first.";
    }
    result.improved = std::move(improved);
    return result;
}

bool runSelfTest() {
    const PromptAssessment weak = assess("I need help with my launch");
    const PromptAssessment strong =
        assess("Create a five-step launch plan for a Mac app. Keep it under 500 words and return a numbered list.");
    const bool passed =
        !weak.suggestions.empty() && weak.score < strong.score && weak.suggestions.size() > strong.suggestions.size();
    std::cout << (passed ? "PASS" : "FAIL") << ": prompt assessment" << std::endl;
    return passed;
}

}  // namespace vesk::PromptCoach

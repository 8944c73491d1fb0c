#include "speech/ConfidenceCalibration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>

namespace vesk::ConfidenceCalibration {

namespace {

// Closed-class English words: articles, conjunctions, prepositions, pronouns, auxiliaries.
constexpr std::array<std::string_view, 96> kFunctionWords{
    "a",     "about", "all",   "am",    "an",    "and",   "any",   "are",   "as",    "at",     "be",    "been",
    "being", "but",   "by",    "can",   "could", "did",   "do",    "does",  "for",   "from",   "had",   "has",
    "have",  "he",    "her",   "here",  "him",   "his",   "how",   "i",     "if",    "in",     "into",  "is",
    "it",    "its",   "just",  "may",   "me",    "might", "must",  "my",    "no",    "nor",    "not",   "of",
    "off",   "on",    "onto",  "or",    "our",   "out",   "over",  "shall", "she",   "should", "so",    "some",
    "than",  "that",  "the",   "their", "them",  "then",  "there", "these", "they",  "this",   "those", "to",
    "up",    "upon",  "us",    "was",   "we",    "were",  "what",  "when",  "where", "which",  "who",   "whom",
    "will",  "with",  "would", "yet",   "you",   "your",  "i'm",   "i've",  "i'll",  "i'd",    "it's",  "don't"};

double logistic(double z) { return 1.0 / (1.0 + std::exp(-z)); }

double logit(double p) {
    const double clamped = std::clamp(p, 1e-4, 1.0 - 1e-4);
    return std::log(clamped / (1.0 - clamped));
}

// A logistic curve over the engine's evidence. The weights of the raw score and of the
// n-best agreement are never negative, so more evidence never lowers the confidence.
struct PocketSphinxCurve {
    double bias;
    double posteriorLogit;
    double agreement;
    double functionWord;
    double shortWord;  // three characters or fewer
    double neighbourLogit;
};

// Fitted by bench/speech/fit-confidence.py on Debian's PocketSphinx test recordings.
constexpr PocketSphinxCurve kPocketSphinx{-0.0227, 0.2504, 0.4666, -0.0396, 0.0344, 0.3296};

// whisper: the weakest token decides, as a misheard word usually has one unlikely piece;
// the mean of the others lifts a word whose other pieces are sure. No real recordings were
// available to fit it, so it stays close to the raw probability.
struct WhisperCurve {
    double bias;
    double weakestLogit;
    double meanLogit;
};
constexpr WhisperCurve kWhisper{0.0, 1.0, 0.0};

}  // namespace

bool isFunctionWord(std::string_view word) {
    // The engine writes the English pronoun "I" in capitals; the list is lower case.
    std::string lower(word);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::find(kFunctionWords.begin(), kFunctionWords.end(), lower) != kFunctionWords.end();
}

double nbestAgreement(std::string_view word, const std::vector<std::string>& hypotheses) {
    if (hypotheses.empty()) return 1.0;
    size_t agreeing = 0;
    for (const std::string& hypothesis : hypotheses) {
        size_t start = 0;
        while (start <= hypothesis.size()) {
            const size_t end = std::min(hypothesis.find(' ', start), hypothesis.size());
            if (std::string_view(hypothesis).substr(start, end - start) == word) {
                ++agreeing;
                break;
            }
            start = end + 1;
        }
    }
    return static_cast<double>(agreeing) / static_cast<double>(hypotheses.size());
}

std::vector<double> neighbourPosteriors(const std::vector<double>& posteriors) {
    std::vector<double> result(posteriors.size());
    for (size_t i = 0; i < posteriors.size(); ++i) {
        double sum = 0;
        int count = 0;
        if (i > 0) sum += logit(posteriors[i - 1]), ++count;
        if (i + 1 < posteriors.size()) sum += logit(posteriors[i + 1]), ++count;
        result[i] = count ? logistic(sum / count) : posteriors[i];
    }
    return result;
}

double pocketSphinx(const PocketSphinxWordEvidence& evidence) {
    const auto& c = kPocketSphinx;
    const double z = c.bias + c.posteriorLogit * logit(evidence.posterior) +
                     c.agreement * std::clamp(evidence.nbestAgreement, 0.0, 1.0) +
                     c.functionWord * (evidence.functionWord ? 1.0 : 0.0) +
                     c.shortWord * (evidence.characters <= 3 ? 1.0 : 0.0) +
                     c.neighbourLogit * logit(evidence.neighbourPosterior);
    return std::clamp(logistic(z), 0.0, 1.0);
}

namespace {

double weakestOf(const WhisperWordEvidence& evidence) {
    return *std::min_element(evidence.tokenProbabilities.begin(), evidence.tokenProbabilities.end());
}

double meanLogitOf(const WhisperWordEvidence& evidence) {
    double sum = 0;
    for (const float p : evidence.tokenProbabilities) sum += logit(p);
    return sum / static_cast<double>(evidence.tokenProbabilities.size());
}

std::string formatted(const char* format, auto... values) {
    char buffer[160];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof buffer) - 1)));
}

}  // namespace

double whisper(const WhisperWordEvidence& evidence) {
    if (evidence.tokenProbabilities.empty()) return 0.0;
    const auto& c = kWhisper;
    return std::clamp(
        logistic(c.bias + c.weakestLogit * logit(weakestOf(evidence)) + c.meanLogit * meanLogitOf(evidence)), 0.0, 1.0);
}

std::string describe(const PocketSphinxWordEvidence& evidence) {
    return formatted("raw=%.4f agreement=%.3f function=%d neighbours=%.4f", evidence.posterior, evidence.nbestAgreement,
                     evidence.functionWord ? 1 : 0, evidence.neighbourPosterior);
}

std::string describe(const WhisperWordEvidence& evidence) {
    if (evidence.tokenProbabilities.empty()) return "tokens=0";
    return formatted("weakest=%.4f mean=%.4f tokens=%zu", weakestOf(evidence), logistic(meanLogitOf(evidence)),
                     evidence.tokenProbabilities.size());
}

void trace(std::string_view engine, std::string_view word, std::string_view evidence, double calibrated) {
    const char* flag = std::getenv("VESK_DEBUG_CONFIDENCE");
    if (!flag || std::string_view(flag) != "1") return;
    std::fprintf(stderr, "CONFIDENCE: %.*s \"%.*s\" %.*s calibrated=%.4f\n", static_cast<int>(engine.size()),
                 engine.data(), static_cast<int>(word.size()), word.data(), static_cast<int>(evidence.size()),
                 evidence.data(), calibrated);
}

}  // namespace vesk::ConfidenceCalibration

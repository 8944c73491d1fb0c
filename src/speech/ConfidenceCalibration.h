#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// What PocketSphinx knows about one recognized word, besides its spelling.
struct PocketSphinxWordEvidence {
    double posterior = 0;       // the decoder's word posterior, 0 to 1
    double nbestAgreement = 1;  // share of the n-best hypotheses that contain the word, 0 to 1
    bool functionWord = false;  // a short closed-class English word ("and", "the", "of")
    int characters = 0;         // length of the spelling
    // The posteriors of the words either side, averaged as log-odds (the word's own
    // posterior when it stands alone). Misrecognitions come in runs: a doubtful word among
    // sure ones is more often right than one among doubtful ones.
    double neighbourPosterior = 0;
};

// What whisper knows about one recognized word: the probabilities of its tokens.
struct WhisperWordEvidence {
    std::vector<float> tokenProbabilities;  // each 0 to 1, in order; at least one
};

// Maps each engine's raw scores to the confidence the review lens reads: an estimate of
// the probability that the word is right. The curves are fitted on recorded speech with
// bench/speech/fit-confidence.py; their parameters are data below, per engine. Every
// mapping is monotonic in the raw score and stays within 0 to 1.
namespace ConfidenceCalibration {

// Whether `word` (lower case) is an English function word. Such words are short and
// frequent, so the decoder gives them low posteriors even when they are right.
bool isFunctionWord(std::string_view word);

// Share of `hypotheses` (plain, space-separated words) that contain `word` as a whole
// word; 1 when there are none to compare with.
double nbestAgreement(std::string_view word, const std::vector<std::string>& hypotheses);

// The neighbour posterior of each word of an utterance, from the words' posteriors in order.
std::vector<double> neighbourPosteriors(const std::vector<double>& posteriors);

double pocketSphinx(const PocketSphinxWordEvidence& evidence);
double whisper(const WhisperWordEvidence& evidence);

// The raw evidence as "name=value" pairs, as the fitting script reads them: for
// PocketSphinx raw (the posterior), agreement, function and neighbours; for whisper
// weakest (the least likely token), mean (the tokens' mean log-odds as a probability) and
// tokens (how many).
std::string describe(const PocketSphinxWordEvidence& evidence);
std::string describe(const WhisperWordEvidence& evidence);

// With VESK_DEBUG_CONFIDENCE=1, writes a word's raw evidence beside the confidence the lens
// will read to standard error: CONFIDENCE: <engine> "<word>" <evidence> calibrated=<c>.
void trace(std::string_view engine, std::string_view word, std::string_view evidence, double calibrated);

}  // namespace ConfidenceCalibration

}  // namespace vesk

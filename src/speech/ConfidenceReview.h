#pragma once

#include "speech/RecognitionResult.h"

#include <string>
#include <vector>

// The words of a transcript worth a second look, built from the recognizer's confidences
// and alternative transcripts.
namespace vesk::speech {

struct ConfidenceIssue {
    std::string id;
    std::string heard;
    std::vector<std::string> alternatives;
    double confidence = 0;
    bool isCritical = false;

    bool operator==(const ConfidenceIssue&) const = default;
};

struct DetailedTranscription {
    std::string text;
    std::vector<ConfidenceIssue> confidenceIssues;
};

// At most three issues for one recognized stretch of speech.
std::vector<ConfidenceIssue> reviewCandidates(const RecognizedText& text,
                                              const std::vector<RecognizedText>& alternatives);
// The issues of several stretches combined into at most three.
std::vector<ConfidenceIssue> mergeReview(const std::vector<std::vector<ConfidenceIssue>>& groups);

}  // namespace vesk::speech

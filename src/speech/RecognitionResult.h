#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vesk {

// A piece of recognized text with the recognizer's confidence for it (0 to 1), where the
// recognizer gave one. A word usually makes one run, its leading space included.
struct TextRun {
    std::string text;
    std::optional<double> confidence;

    bool operator==(const TextRun&) const = default;
};

// Recognized text as runs; the plain text is the runs' characters in order.
struct RecognizedText {
    std::vector<TextRun> runs;

    std::string plainText() const {
        std::string text;
        for (const TextRun& run : runs) text += run.text;
        return text;
    }
    static RecognizedText plain(std::string text) { return RecognizedText{{TextRun{std::move(text), std::nullopt}}}; }

    bool operator==(const RecognizedText&) const = default;
};

// One result of a recognizer: a final result closes a stretch of speech for good; a
// volatile one may still change and is replaced by the next result.
struct RecognitionResult {
    RecognizedText text;
    bool isFinal = true;
    std::vector<RecognizedText> alternatives;
};

}  // namespace vesk

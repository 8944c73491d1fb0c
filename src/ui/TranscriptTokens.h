#pragma once

#include <string>
#include <string_view>
#include <vector>

// The word-by-word form of the live caption: which words are settled, which may still
// change, where each starts and which one carries the draft frontier. Pure.
namespace vesk {

enum class TranscriptTokenState { finalized, provisional };

struct TranscriptToken {
    std::string id;  // "finalized-3", "provisional-0": stable while the word keeps its place
    std::string text;
    TranscriptTokenState state = TranscriptTokenState::finalized;
    size_t characterOffset = 0;  // characters before the word within its part, one space each
    bool isTail = false;         // the last provisional word, which shows the draft frontier

    bool operator==(const TranscriptToken&) const = default;
};

// The finalized words, then the provisional ones, each part split at white space.
std::vector<TranscriptToken> makeTranscriptTokens(std::string_view finalized, std::string_view provisional);

// How many leading user-perceived characters two texts share.
size_t commonPrefixLength(std::string_view previous, std::string_view current);

// The one label the view gives assistive technology: the non-empty parts joined by a space.
std::string transcriptAccessibilityLabel(std::string_view finalized, std::string_view provisional);

}  // namespace vesk

#include "ui/TranscriptTokens.h"

#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"
#include "text/Words.h"

#include <algorithm>

namespace vesk {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void appendTokens(std::vector<TranscriptToken>& tokens, std::string_view text, TranscriptTokenState state) {
    const std::string prefix = state == TranscriptTokenState::finalized ? "finalized-" : "provisional-";
    size_t offset = 0;
    size_t index = 0;
    for (std::string& word : words::splitAtWhitespace(text)) {
        const size_t length = characterCount(word);
        tokens.push_back({prefix + std::to_string(index++), std::move(word), state, offset, false});
        offset += length + 1;
    }
}

}  // namespace

std::vector<TranscriptToken> makeTranscriptTokens(std::string_view finalized, std::string_view provisional) {
    std::vector<TranscriptToken> tokens;
    appendTokens(tokens, finalized, TranscriptTokenState::finalized);
    const size_t finalizedCount = tokens.size();
    appendTokens(tokens, provisional, TranscriptTokenState::provisional);
    if (tokens.size() > finalizedCount) tokens.back().isTail = true;
    return tokens;
}

size_t commonPrefixLength(std::string_view previous, std::string_view current) {
    if (isAscii(previous) && isAscii(current))
        return static_cast<size_t>(
            std::mismatch(previous.begin(), previous.end(), current.begin(), current.end()).first - previous.begin());
    const auto a = unicode::graphemes(previous);
    const auto b = unicode::graphemes(current);
    return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

std::string transcriptAccessibilityLabel(std::string_view finalized, std::string_view provisional) {
    if (finalized.empty()) return std::string(provisional);
    if (provisional.empty()) return std::string(finalized);
    return std::string(finalized) + " " + std::string(provisional);
}

}  // namespace vesk

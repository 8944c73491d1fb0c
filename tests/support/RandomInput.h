#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace vesk::test {

// Deterministic random inputs for randomized tests: dictation-like text with the words
// our text logic reacts to, text in many scripts, malformed UTF-8, and JSON documents
// that are valid, subtly wrong or broken. The same seed always gives the same sequence.
class RandomInput {
public:
    explicit RandomInput(std::uint64_t seed) : engine_(seed) {}

    std::mt19937_64& engine() { return engine_; }
    std::size_t below(std::size_t bound);  // uniform in [0, bound); 0 when bound is 0
    bool chance(double probability);
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

    // One word: plain English, a filler, part of a spoken command, a word with
    // diacritics, ß, a combining mark, an emoji, Cyrillic, Greek, CJK or Arabic text.
    std::string word();
    // A separator between words: spaces, tabs, line feeds, no-break and ideographic
    // spaces, punctuation with or without spaces.
    std::string separator();
    // Up to `maxWords` words with random separators; may start or end with white space.
    std::string text(std::size_t maxWords);
    // Any bytes at all, mostly invalid UTF-8.
    std::string bytes(std::size_t maxLength);
    // `text` with malformed UTF-8 sequences spliced in here and there.
    std::string mangledText(std::size_t maxWords);

    // Valid JSON of any shape, nested up to `maxDepth`.
    std::string anyJson(int maxDepth);
    // Documents shaped like our data files, usually valid, sometimes with a member of
    // the wrong type, missing or misspelled, a lower-case or malformed UUID.
    std::string dictionaryJson(std::size_t maxEntries);
    std::string learnedJson(std::size_t maxCorrections, std::size_t maxTerms);
    std::string snippetsJson(std::size_t maxSnippets);
    // Breaks a document: truncation, a flipped or inserted byte, an extra bracket, or
    // nothing at all.
    std::string damage(std::string document);

    // A UUID text, upper-case or lower-case.
    std::string uuid(bool upperCase = true);

private:
    std::mt19937_64 engine_;
};

}  // namespace vesk::test

#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vesk {

// One whole-word replacement: every case-insensitive occurrence of `phrase` that starts
// and ends at a word boundary becomes `replacement`, inserted exactly as written ("$1"
// and backslashes mean nothing special).
struct WholeWordRule {
    std::string phrase;
    std::string replacement;
};

// Applies the rules one after another, each to the result of the one before, every
// non-overlapping match from left to right. This is the replacement the dictionary,
// learned corrections and snippets share; each rule behaves exactly like the ICU pattern
// "(?i)\b" + escaped phrase + "\b" run over the whole text.
//
// A rule with an empty phrase is ignored: it would match the empty string at every word
// boundary and scatter its replacement through the text. When at least one rule takes
// part, the result is valid UTF-8 (malformed input bytes become U+FFFD).
//
// Speed: a transcript meets hundreds of rules of which only a few can match, so each rule
// is first checked with a case-folded substring search. Case folding maps every
// character on its own, so anything the case-insensitive pattern matches folds to a
// substring of the folded text; the check can skip only rules that cannot match. The
// pattern is compiled only for rules that pass it.
std::string replaceWholeWords(std::string_view text, std::span<const WholeWordRule> rules);

// The rules as one left-to-right pass over the text as given: at each position the first
// rule in `rules` that matches there wins (callers order them longest first, so the
// longest phrase at a position wins), the scan goes on after that match, and what a
// replacement wrote is never matched again by another rule. Matching is that of
// replaceWholeWords: case-insensitive, whole words; replacements are inserted as written
// and rules with an empty phrase are ignored.
std::string replaceWholeWordsInOnePass(std::string_view text, std::span<const WholeWordRule> rules);

// The length in user-perceived characters by which the stores order their rules,
// without splitting plain ASCII text into clusters (only "\r\n" joins two ASCII bytes).
std::size_t characterCount(std::string_view text);

}  // namespace vesk

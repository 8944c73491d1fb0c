#pragma once

#include <string>
#include <string_view>
#include <vector>

// Keeps the literal facts of a dictation safe when a language model rewrites it: lists
// the details a rewrite must keep (addresses, numbers and amounts, acronyms, weekdays,
// months, names) and reports which of them a rewrite lost, and whether it lost a
// negation. Pure and stateless.
namespace vesk::MeaningGuard {

// The details of `text`, each spelled as in the text, without duplicates (compared by
// their comparison form; the first spelling wins), in pattern order.
std::vector<std::string> protectedDetails(std::string_view text);

// The details of `original` that `rewritten` lacks, then "negation" when the original
// negates and the rewrite does not.
std::vector<std::string> missingDetails(std::string_view original, std::string_view rewritten);

// Whether the text says "not", "never", "without", "no" or "cannot" (straight-apostrophe
// contractions such as "don't" and "can't" included).
bool containsNegation(std::string_view text);

// The form used to compare details: case-folded, lower-cased, letters and numbers only.
// Diacritics stay ("ø" and "o" differ).
std::string comparisonForm(std::string_view text);

// Prints "PASS: critical-detail meaning lock" or "FAIL: ..." and returns the verdict.
bool runSelfTest();

}  // namespace vesk::MeaningGuard

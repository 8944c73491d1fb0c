#pragma once

#include <string>
#include <vector>

namespace vesk {

// Whisper, given silence or noise after speech, tends to loop: the same phrase again and
// again to the end of the window ("thank you. thank you. thank you."). People do repeat
// words ("no, no"), so only a phrase said three or more times in a row at the very end of
// a stretch counts as such a loop.
namespace HallucinationFilter {

// How many of `words` to keep: all, or up to and including the first copy of a phrase of
// one to eight words that the text then repeats at least twice more to its end. Words
// compare case-insensitively (ASCII) and without surrounding punctuation.
size_t keptWordCount(const std::vector<std::string>& words);

}  // namespace HallucinationFilter

}  // namespace vesk

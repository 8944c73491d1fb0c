#pragma once

#include <string>
#include <vector>

namespace vesk {

// Whisper, given silence or noise after speech, tends to go on writing: text after the
// speech ended ("Yes." becomes "Yes. Thank you."), or the same phrase again and again to
// the end of the window ("thank you. thank you. thank you."). People do repeat words ("no,
// no"), so only a phrase said three or more times in a row at the very end of a stretch
// counts as such a loop.
namespace HallucinationFilter {

// How many of `words` to keep: all, or up to and including the first copy of a phrase of
// one to eight words that the text then repeats at least twice more to its end. Words
// compare case-insensitively (ASCII) and without surrounding punctuation.
size_t keptWordCount(const std::vector<std::string>& words);

// Words whisper places after the speech has ended are its own, not the speaker's: how many
// of the words, given the time each begins at (seconds from the start of the decoded
// stretch, in order), to keep when the speech ends at `speechEnd`. Timestamps are coarse,
// so a word that begins within `kSpeechEndTolerance` of the end still counts as spoken;
// the first one after that ends the text.
inline constexpr double kSpeechEndTolerance = 0.25;
size_t wordsBeforeSpeechEnd(const std::vector<double>& wordStarts, double speechEnd);

}  // namespace HallucinationFilter

}  // namespace vesk

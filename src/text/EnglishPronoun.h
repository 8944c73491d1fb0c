#pragma once

#include <string>
#include <string_view>

namespace vesk {

// The English first-person pronoun as it is written: "i", "i'm", "i've", "i'll" and "i'd"
// become "I", "I'm", "I've", "I'll" and "I'd". Only a whole word given on its own (as a
// recognizer whose dictionary is all lower case gives it) changes; any other word comes
// back as it is. For English text only: the formatter stays language-neutral, and the
// speech engine that needs this calls it. Pure; any thread.
std::string writeEnglishPronoun(std::string_view word);

}  // namespace vesk

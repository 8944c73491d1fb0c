#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::words {

// The pieces of `text` between runs of Unicode white space (line breaks included), in
// order, without empty pieces.
std::vector<std::string> splitAtWhitespace(std::string_view text);

// `pieces` joined with `separator` between them.
std::string join(const std::vector<std::string>& pieces, std::string_view separator);

// Trims white space, line breaks and punctuation (the Unicode P* categories) together
// from both ends: "  Bjørn.) " becomes "Bjørn".
std::string trimWhitespaceAndPunctuation(std::string_view text);

}  // namespace vesk::words

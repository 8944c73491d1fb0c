#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Finding a word in a text the way a person reads it: ignoring letter case and
// diacritics ("Cafe" finds "café"), whole user-perceived characters only.
namespace vesk::folded {

// Byte range [first, second) in `text` of the first occurrence of `needle`; nothing when
// it does not occur or `needle` folds to nothing.
std::optional<std::pair<size_t, size_t>> find(std::string_view text, std::string_view needle);

inline bool contains(std::string_view text, std::string_view needle) { return find(text, needle).has_value(); }

// `text` with its first occurrence of `needle` replaced by `replacement`; unchanged
// when there is none.
std::string replaceFirst(std::string_view text, std::string_view needle, std::string_view replacement);

}  // namespace vesk::folded

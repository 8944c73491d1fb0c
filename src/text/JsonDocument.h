#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

namespace vesk {

// Parses one of our hand-editable or learned data files. Nothing when the text is not
// JSON, or when it nests arrays and objects deeper than `maxDepth`: none of our formats
// nests deeper than three levels, so a deeper document cannot decode anyway, and
// refusing it early keeps a file of millions of "[" from building millions of values.
std::optional<nlohmann::json> parseJsonDocument(std::string_view text, int maxDepth);

// A stored UUID in either letter case, kept in the upper-case form we write. Files hold
// hundreds of them and nearly all are already in that form, which is checked directly.
bool readUuid(const std::string& text, std::string* upperCase);

}  // namespace vesk

#pragma once

#include <string>
#include <string_view>

// The path every recognizer text takes to become output: control characters removed
// (removeControlCharacters), the formatter (with the person's dictionary read afresh),
// then learned corrections, then snippets. Each step
// reads its file on every call, so an edit takes effect with the next text.
namespace vesk::TextPipeline {

std::string clean(std::string_view text);  // TextFormatter::format, fillers dropped
std::string exact(std::string_view text);  // TextFormatter::formatExact, every word kept

}  // namespace vesk::TextPipeline

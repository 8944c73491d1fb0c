#include "text/TextPipeline.h"

#include "text/Unicode.h"

namespace vesk::TextPipeline {

std::string clean(std::string_view text) { return unicode::trimWhitespaceAndNewlines(text); }
std::string exact(std::string_view text) { return unicode::trimWhitespaceAndNewlines(text); }

}  // namespace vesk::TextPipeline

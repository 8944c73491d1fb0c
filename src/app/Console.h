#pragma once

#include <string_view>

namespace vesk::console {

// A line on standard output, followed by one line feed.
void printLine(std::string_view line);
// Standard-error text written as one block of UTF-8 bytes; a line feed is appended when
// the text does not end with one.
void printError(std::string_view text);

}  // namespace vesk::console

#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Text that is about to be pasted must not carry terminal controls: an escape sequence
// could recolour, retitle or drive a terminal, a carriage return would press Enter.
// Returns `text` without its C0 and C1 control characters, except the line feed and the
// tab: escape sequences (ESC or the C1 introducers, with their parameters and, for
// string sequences such as OSC, everything up to the terminator) go whole; a carriage
// return, vertical tab, form feed or next-line control becomes a line feed (a carriage
// return and line feed pair becomes one), so that lines stay apart; DEL goes too.
// Malformed UTF-8 is replaced by U+FFFD. Pure; any thread.
std::string removeControlCharacters(std::string_view text);

}  // namespace vesk

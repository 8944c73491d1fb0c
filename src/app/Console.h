#pragma once

#include <string_view>

// Where every command-line mode prints. Main thread only.
namespace vesk::console {

// A line on standard output, followed by one line feed.
void printLine(std::string_view line);
// Standard-error text written as one block of UTF-8 bytes; a line feed is appended when
// the text does not end with one.
void printError(std::string_view text);

// The exit status the process ends with, given the mode's own `status`: standard output
// is flushed, and if anything written to it failed, by these functions or by any other
// code that wrote to it (a full disk, /dev/full, a closed descriptor), the status is 1
// after one line on standard error, so that a script never takes lost output for
// success. Call once, when the mode has finished.
int finish(int status);

}  // namespace vesk::console

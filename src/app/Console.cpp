#include "app/Console.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace vesk::console {

void printLine(std::string_view line) {
    std::string block(line);
    block.push_back('\n');
    std::fwrite(block.data(), 1, block.size(), stdout);
    std::fflush(stdout);
}

void printError(std::string_view text) {
    std::string block(text);
    if (block.empty() || block.back() != '\n') block.push_back('\n');
    std::fwrite(block.data(), 1, block.size(), stderr);
    std::fflush(stderr);
}

int finish(int status) {
    // Streams keep their error flag once a write fails, so one look at the end sees every
    // failure, however the output was written (the self-tests use stdio and iostreams).
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout) && std::cout.good()) return status;
    printError("Project Vesk could not write to standard output.");
    return 1;
}

}  // namespace vesk::console

#include "app/Console.h"

#include <cstdio>
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

}  // namespace vesk::console

#pragma once

#include <cstdio>
#include <string>

namespace vesk::selftest {

// One result line of a built-in check on standard output: "PASS: label" or "FAIL: label".
inline bool report(bool passed, const std::string& label) {
    std::printf("%s: %s\n", passed ? "PASS" : "FAIL", label.c_str());
    std::fflush(stdout);
    return passed;
}

}  // namespace vesk::selftest

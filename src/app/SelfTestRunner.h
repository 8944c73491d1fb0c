#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

// One component's built-in check: it prints its own PASS/FAIL lines and returns true
// when every case passed.
struct SelfTestCheck {
    std::string component;
    std::function<bool()> run;
};

// Runs every check in order, even after a failure, and returns true only when all
// passed. Prints nothing of its own.
bool runSelfTests(std::span<const SelfTestCheck> checks);

// The product's checks, in the order the runner calls them.
std::vector<SelfTestCheck> productSelfTests();

}  // namespace vesk

#include "app/SelfTestRunner.h"

namespace vesk {

bool runSelfTests(std::span<const SelfTestCheck> checks) {
    bool allPassed = true;
    for (const SelfTestCheck& check : checks) {
        const bool passed = check.run();
        allPassed = allPassed && passed;
    }
    return allPassed;
}

}  // namespace vesk

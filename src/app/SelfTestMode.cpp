#include "app/Modes.h"
#include "app/SelfTestRunner.h"

namespace vesk::modes {

int runSelfTest() {
    const auto checks = productSelfTests();
    return runSelfTests(checks) ? 0 : 1;
}

}  // namespace vesk::modes

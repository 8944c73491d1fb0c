#include "app/SelfTestRunner.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {};
}

}  // namespace vesk

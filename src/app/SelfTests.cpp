#include "app/SelfTestRunner.h"
#include "text/LearnedStore.h"
#include "text/TextFormatter.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"TextFormatter", [] { return TextFormatter::runSelfTest(); }},
        {"LearnedStore", [] { return LearnedStore::runSelfTest(); }},
    };
}

}  // namespace vesk

#include "app/SelfTestRunner.h"
#include "speech/Transcriber.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"Transcriber", [] { return speech::Transcriber::runSelfTest(); }},
    };
}

}  // namespace vesk

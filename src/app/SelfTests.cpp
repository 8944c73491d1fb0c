#include "app/SelfTestRunner.h"

#include "history/HistoryStore.h"
#include "rewriting/PromptCoach.h"
#include "text/MeaningGuard.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"PromptCoach", &PromptCoach::runSelfTest},
        {"MeaningGuard", &MeaningGuard::runSelfTest},
        {"HistoryEntry", &HistoryEntry::runSelfTest},
    };
}

}  // namespace vesk

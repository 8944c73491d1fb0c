#include "app/SelfTestRunner.h"

#include "history/HistoryStore.h"
#include "rewriting/PromptCoach.h"
#include "text/LearnedStore.h"
#include "text/MeaningGuard.h"
#include "text/TextFormatter.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"TextFormatter", [] { return TextFormatter::runSelfTest(); }},
        {"LearnedStore", [] { return LearnedStore::runSelfTest(); }},
        {"PromptCoach", &PromptCoach::runSelfTest},
        {"MeaningGuard", &MeaningGuard::runSelfTest},
        {"HistoryEntry", &HistoryEntry::runSelfTest},
    };
}

}  // namespace vesk

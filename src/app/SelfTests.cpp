#include "app/SelfTestRunner.h"

#include "history/HistoryStore.h"
#include "hud/DictationHUDGeometry.h"
#include "rewriting/PromptCoach.h"
#include "speech/Transcriber.h"
#include "text/ConfidenceLens.h"
#include "text/LearnedStore.h"
#include "text/MeaningGuard.h"
#include "text/TextFormatter.h"
#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/MenuBarWaveformRenderer.h"
#include "visualization/WaveformSampler.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"TextFormatter", [] { return TextFormatter::runSelfTest(); }},
        {"LearnedStore", [] { return LearnedStore::runSelfTest(); }},
        {"PromptCoach", [] { return PromptCoach::runSelfTest(); }},
        {"ConfidenceLens", [] { return ConfidenceLens::runSelfTest(); }},
        {"MeaningGuard", [] { return MeaningGuard::runSelfTest(); }},
        {"Transcriber", [] { return Transcriber::runSelfTest(); }},
        {"WaveformSampler", [] { return WaveformSampler::runSelfTest(); }},
        {"AudioVisualizationPipeline", [] { return AudioVisualizationPipeline::runSelfTest(); }},
        {"HistoryEntry", [] { return HistoryEntry::runSelfTest(); }},
        {"DictationHUDGeometry", [] { return DictationHUDGeometry::runSelfTest(); }},
        {"MenuBarWaveformRenderer", [] { return MenuBarWaveformRenderer::runSelfTest(); }},
    };
}

}  // namespace vesk

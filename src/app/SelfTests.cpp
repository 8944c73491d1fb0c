#include "app/SelfTestRunner.h"

#include "hud/DictationHUDGeometry.h"
#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/MenuBarWaveformRenderer.h"
#include "visualization/WaveformSampler.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"WaveformSampler", [] { return WaveformSampler::runSelfTest(); }},
        {"AudioVisualizationPipeline", [] { return AudioVisualizationPipeline::runSelfTest(); }},
        {"DictationHUDGeometry", [] { return DictationHUDGeometry::runSelfTest(); }},
        {"MenuBarWaveformRenderer", [] { return MenuBarWaveformRenderer::runSelfTest(); }},
    };
}

}  // namespace vesk

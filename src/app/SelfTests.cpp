#include "app/SelfTestRunner.h"

#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/WaveformSampler.h"

namespace vesk {

std::vector<SelfTestCheck> productSelfTests() {
    return {
        {"WaveformSampler", [] { return WaveformSampler::runSelfTest(); }},
        {"AudioVisualizationPipeline", [] { return AudioVisualizationPipeline::runSelfTest(); }},
    };
}

}  // namespace vesk

#include "../ui/BenchDesktop.h"
#include "visualization/FieldRendererWidget.h"
#include "visualization/RealtimeModels.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace vesk;

// One frame of the field on the GPU (Mesa's llvmpipe on the headless desktop) at the quick
// panel's size: simulation, point upload, one draw call, plus reading the 358 x 150 frame back.
void BM_FieldGLFrameQuickPanel(benchmark::State& state) {
    if (!bench::benchDesktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    {
        AudioVisualModel audio;
        WaveformFrame frame;
        for (std::size_t k = 0; k < frame.full.size(); ++k) frame.full[k] = 0.6f * std::sin(0.05f * float(k));
        for (std::size_t k = 0; k < frame.spectrum.size(); ++k)
            frame.spectrum[k] = 0.6f + 0.3f * std::sin(0.1f * float(k));
        audio.update(0.9f, frame);
        FieldRendererWidget field(audio);
        field.setStateCode(fieldRecording);
        field.resize(358, 150);
        field.show();
        bench::spinFor(std::chrono::milliseconds(200));
        for (auto _ : state) benchmark::DoNotOptimize(field.grabFramebuffer());
        state.counters["points"] = static_cast<double>(field.lastPointCount());
    }
    bench::closeDesktopAtExit();
}
BENCHMARK(BM_FieldGLFrameQuickPanel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

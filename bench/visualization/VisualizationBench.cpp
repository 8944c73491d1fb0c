#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/FieldSimulation.h"
#include "visualization/MenuBarWaveformRenderer.h"
#include "visualization/TestSignals.h"
#include "visualization/WaveformAnalysis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace vesk;

// Speech-like input: two tones and a little noise-like wobble.
AudioBuffer speechLikeBuffer() {
    AudioBuffer buffer = makeSineBuffer(48000, 2048, 220, 0.3f);
    float* samples = buffer.channel(0);
    for (uint32_t i = 0; i < 2048; ++i) samples[i] += 0.1f * std::sin(0.37f * i) * std::sin(0.011f * i);
    return buffer;
}

// Goal: under 0.5 ms per 2048-frame 48 kHz buffer.
void BM_BandSplitterFrame(benchmark::State& state) {
    WaveformBandSplitter splitter;
    const AudioBuffer buffer = speechLikeBuffer();
    for (auto _ : state) benchmark::DoNotOptimize(splitter.frame(buffer));
}
BENCHMARK(BM_BandSplitterFrame)->Unit(benchmark::kMicrosecond);

// The capture side of the pipeline: one copy, one short lock, at most one wake-up.
void BM_PipelineConsume(benchmark::State& state) {
    AudioVisualizationPipeline pipeline;
    const AudioBuffer buffer = speechLikeBuffer();
    for (auto _ : state) pipeline.consume(buffer);
}
BENCHMARK(BM_PipelineConsume)->Unit(benchmark::kMicrosecond);

// Goal: simulateParticles + makeRenderPoints for a loud recording frame under 1.5 ms.
void BM_FieldLoudRecordingFrame(benchmark::State& state) {
    FieldFrame frame = FieldFrame::seeded();
    for (std::size_t i = 0; i < frame.wave.size(); ++i) frame.wave[i] = 0.6f * std::sin(0.05f * i);
    for (std::size_t i = 0; i < frame.spectrumWave.size(); ++i)
        frame.spectrumWave[i] = 0.6f + 0.3f * std::sin(0.1f * i);
    std::size_t points = 0;
    for (auto _ : state) {
        frame.elapsed += 1.0f / 60.0f;
        simulateParticles(frame, 0.9f, fieldRecording, 1.0f / 60.0f);
        const auto list = makeRenderPoints(frame, 0.9f, fieldRecording);
        points = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_FieldLoudRecordingFrame)->Unit(benchmark::kMicrosecond);

// Goal: under 0.2 ms per tray image.
void BM_MenuBarImage(benchmark::State& state) {
    std::vector<float> samples(384);
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = std::sin(0.19f * k) * 0.22f;
    for (auto _ : state) benchmark::DoNotOptimize(MenuBarWaveformRenderer::image(samples));
}
BENCHMARK(BM_MenuBarImage)->Unit(benchmark::kMicrosecond);

}  // namespace

#include "../../tests/ui/ConsoleModelDouble.h"
#include "BenchDesktop.h"
#include "ui/TrayItem.h"
#include "visualization/MenuBarWaveformRenderer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace vesk;

std::vector<float> speech(float phase) {
    std::vector<float> samples(384);
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = 0.3f * std::sin(0.05f * float(k) + phase);
    return samples;
}

// One tray refresh while the person speaks: the waveform image, its tint and the hand-over.
// "sent_per_call" is 1 when every frame changes the picture.
void BM_TrayIconDuringSpeech(benchmark::State& state) {
    if (!bench::benchDesktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    {
        test::ConsoleModelDouble model;
        TrayItem tray(model);
        float phase = 0;
        for (auto _ : state) {
            phase += 0.3f;
            tray.setIcon(MenuBarWaveformRenderer::image(speech(phase)), QColor(255, 110, 26),
                         trayTooltip(UIState::recording));
        }
        state.counters["sent_per_call"] = double(tray.iconUpdates()) / double(state.iterations());
    }
    bench::closeDesktopAtExit();
}
BENCHMARK(BM_TrayIconDuringSpeech)->Unit(benchmark::kMicrosecond);

// The same refresh while nothing changes: nothing reaches the tray ("sent" stays at the first).
void BM_TrayIconWhileSilent(benchmark::State& state) {
    if (!bench::benchDesktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    {
        test::ConsoleModelDouble model;
        TrayItem tray(model);
        const QImage silent = MenuBarWaveformRenderer::image(std::vector<float>(384, 0.0f));
        for (auto _ : state) tray.setIcon(silent, QColor(235, 235, 240), trayTooltip(UIState::idle));
        state.counters["sent"] = double(tray.iconUpdates());
    }
    bench::closeDesktopAtExit();
}
BENCHMARK(BM_TrayIconWhileSilent)->Unit(benchmark::kMicrosecond);

}  // namespace

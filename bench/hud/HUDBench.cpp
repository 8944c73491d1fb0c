#include "../ui/BenchDesktop.h"
#include "hud/DictationHUDController.h"
#include "hud/DictationHUDView.h"
#include "visualization/RealtimeModels.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

namespace {

using namespace vesk;

WaveformFrame speechFrame(float phase) {
    WaveformFrame frame;
    for (std::size_t k = 0; k < frame.full.size(); ++k)
        frame.full[k] = 0.3f * std::sin(0.07f * float(k) + phase) * std::sin(0.011f * float(k));
    return frame;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Goal: one repaint of the recording face (168 x 36, 96-point curve with its glow) under 2 ms.
void BM_HUDRecordingFaceRepaint(benchmark::State& state) {
    if (!bench::benchDesktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    AudioVisualModel audio;
    audio.update(0.5f, speechFrame(0));
    DictationHUDState hudState;
    DictationHUDView view(audio, hudState, QColor::fromRgbF(1.0f, 0.43f, 0.1f));
    QImage image(168, 36, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        view.render(painter, QSizeF(168, 36));
    }
}
BENCHMARK(BM_HUDRecordingFaceRepaint)->Unit(benchmark::kMicrosecond);

// Goal: the HUD costs under 5 % of one core while recording. The real panel on the headless
// desktop, fed a new waveform every 2048 frames at 48 kHz, for 3 seconds; our process only.
void BM_HUDRecordingCpuShare(benchmark::State& state) {
    if (!bench::benchDesktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    for (auto _ : state) {
        AudioVisualModel audio;
        DictationHUDController hud(audio);
        hud.showRecording();
        bench::spinFor(std::chrono::milliseconds(400));
        QTimer feed;
        float phase = 0;
        QObject::connect(&feed, &QTimer::timeout, [&] {
            phase += 0.4f;
            audio.update(0.3f + 0.2f * std::sin(phase), speechFrame(phase));
        });
        feed.start(43);
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        bench::spinFor(std::chrono::seconds(3));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        state.counters["cpu_percent"] = (processCpuSeconds() - cpuBefore) / wall * 100.0;
        hud.hide();
        bench::spinFor(std::chrono::milliseconds(300));
    }
    bench::closeDesktopAtExit();
}
BENCHMARK(BM_HUDRecordingCpuShare)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

// The controller's own work on one dictation, from the key's release to the paste call,
// with instant doubles for every service (recognition, model, clipboard, paste). The
// fixed wait that lets the target take focus is set to zero here, so the figure is the
// controller alone: state changes, worker hops, the text pipeline and delivery.

#include "app/ControllerRig.h"
#include "core/Settings.h"
#include "support/VirtualMicrophone.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <thread>

namespace vesk::test {
namespace {

void BM_KeyReleaseToInsertWithInstantServices(benchmark::State& state) {
    ControllerRig rig;
    rig.services.pasteDelay = std::chrono::milliseconds(0);
    rig.preferences->values = {Hotkey::rightControl, false, OutputMode::exact, "en-US", true, false};
    AppDelegate& app = rig.start();
    const std::string pasted = "inserter.insert:Go forward ten meters.";
    for (auto _ : state) {
        rig.journal.clear();
        rig.pressKey();
        QElapsedTimer timer;
        timer.start();
        rig.keys->handlers.onStop();
        while (!rig.journal.has(pasted)) QCoreApplication::processEvents(QEventLoop::AllEvents);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        spinUntil([&] { return app.uiState() == UIState::idle; });
    }
}
BENCHMARK(BM_KeyReleaseToInsertWithInstantServices)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
}  // namespace vesk::test

namespace vesk::test {
namespace {

// One real dictation (the recorder on the virtual microphone playing "go forward ten
// meters", PocketSphinx) with doubles for the paste and the windows. Reports the longest
// gap between the ticks of a 1 ms timer on the main thread while the dictation runs
// ("stall_ms"), and the time from the key's release until the result was delivered.
void BM_RealDictationMainLoopStall(benchmark::State& state) {
    VirtualMicrophone microphone;
    if (!microphone.running()) {
        state.SkipWithError(("no virtual microphone: " + microphone.unavailableReason()).c_str());
        return;
    }
    double longestStall = 0;
    for (auto _ : state) {
        ControllerRig rig;
        Settings::setString("speechEngine", "pocketsphinx");
        rig.services.recorder = std::make_unique<RecorderAdapter>(std::make_shared<AudioRecorder>());
        rig.services.makeRecognizer = transcriberFactory();
        rig.preferences->values = {Hotkey::rightControl, true, OutputMode::exact, "en-US", false, false};
        AppDelegate& app = rig.start();

        QElapsedTimer sinceTick;
        double stall = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            stall = std::max(stall, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        sinceTick.start();
        probe.start(1);

        rig.keys->handlers.onStart();
        spinFor(std::chrono::milliseconds(300));
        // Played from a thread of its own: playing waits until the sound is out.
        std::atomic<bool> played{false};
        std::thread player([&] {
            microphone.playRaw("/usr/share/pocketsphinx/test/data/goforward.raw", 16000);
            played = true;
        });
        spinUntil([&] { return played.load(); }, std::chrono::seconds(20));
        player.join();
        spinFor(std::chrono::milliseconds(200));
        QElapsedTimer release;
        release.start();
        rig.keys->handlers.onStop();
        spinUntil([&] { return rig.journal.has("hud.showProcessing"); });
        spinUntil([&] { return app.uiState() != UIState::processing; }, std::chrono::seconds(30));
        state.SetIterationTime(release.nsecsElapsed() / 1e9);
        probe.stop();
        longestStall = std::max(longestStall, stall);
        if (app.recentEntries().empty()) state.SkipWithError("nothing was recognized");
    }
    state.counters["stall_ms"] = longestStall;
}
BENCHMARK(BM_RealDictationMainLoopStall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace vesk::test

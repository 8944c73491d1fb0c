// The controller's own work on one dictation, from the key's release to the paste call,
// with instant doubles for every service (recognition, model, clipboard, paste). The
// fixed wait that lets the target take focus is set to zero here, so the figure is the
// controller alone: state changes, worker hops, the text pipeline and delivery.

#include "app/ControllerRig.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>

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

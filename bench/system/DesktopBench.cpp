// End-to-end latencies of the desktop services on a headless X desktop (Xvfb with
// openbox): a paste from insert() until the target window's text has changed, and the
// dictation key's release until onStop. Both are wall-clock times across processes.
#include "support/VirtualDesktop.h"
#include "system/HotkeyMonitor.h"
#include "system/QtClipboard.h"
#include "system/TextInserter.h"
#include "system/X11FocusTracker.h"
#include "system/XInputKeySource.h"
#include "system/XTestKeySender.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Desktop {
    Desktop() {
        if (!desktop.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        app = std::make_unique<QApplication>(argc, argv);
    }
    vesk::test::VirtualDesktop desktop;
    int argc = 1;
    char name[16] = "vesk_bench";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

Desktop& desktop() {
    static Desktop shared;
    return shared;
}

// Serves events until `done`, waking for each one (no polling delay), for at most 5 s.
template <typename Predicate>
bool serveUntil(Predicate done) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    QTimer wake;
    wake.start(50);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BM_InsertUntilTextArrives(benchmark::State& state) {
    if (!desktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    QProcess target;
    std::string output;
    QObject::connect(&target, &QProcess::readyReadStandardOutput,
                     [&] { output += target.readAllStandardOutput().toStdString(); });
    target.start(VESK_PASTE_TARGET, {"--title", "Bench target"});
    if (!serveUntil([&] { return output.find("ready ") != std::string::npos; })) {
        state.SkipWithError("the paste target did not start");
        return;
    }
    vesk::QtClipboard clipboard;
    vesk::XTestKeySender keys;
    vesk::X11FocusTracker focus;
    vesk::TextInserter inserter(clipboard, keys, &focus);
    // Wait for the target to hold focus.
    serveUntil([&] {
        const auto focused = focus.focusedWindow();
        return focused && output.find("ready " + std::to_string(focused->window)) != std::string::npos;
    });
    int round = 0;
    for (auto _ : state) {
        const std::string text = "paste " + std::to_string(++round);
        output.clear();
        target.write("set \n");
        serveUntil([&] { return output.find("done") != std::string::npos; });
        output.clear();
        const auto started = Clock::now();
        inserter.insert(text);
        if (!serveUntil([&] { return output.find("changed:" + text + "\n") != std::string::npos; })) {
            state.SkipWithError("the paste did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    }
    target.write("quit\n");
    target.waitForFinished(2000);
}
BENCHMARK(BM_InsertUntilTextArrives)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_KeyReleaseUntilStop(benchmark::State& state) {
    if (!desktop().app) {
        state.SkipWithError("no virtual X desktop");
        return;
    }
    vesk::HotkeyMonitor monitor(vesk::Hotkey::rightControl, std::make_unique<vesk::XInputKeySource>());
    int starts = 0;
    int stops = 0;
    Clock::time_point stoppedAt;
    monitor.onStart = [&] { ++starts; };
    monitor.onStop = [&] {
        ++stops;
        stoppedAt = Clock::now();
    };
    if (!monitor.startMonitoring()) {
        state.SkipWithError("XInput2 is not available");
        return;
    }
    Display* display = XOpenDisplay(nullptr);
    const KeyCode key = XKeysymToKeycode(display, XK_Control_R);
    for (auto _ : state) {
        XTestFakeKeyEvent(display, key, True, CurrentTime);
        XFlush(display);
        const int expected = starts + 1;
        if (!serveUntil([&] { return starts == expected; })) {
            state.SkipWithError("the press did not arrive");
            break;
        }
        // Long enough to be a hold: the release ends the recording.
        QTimer hold;
        hold.setSingleShot(true);
        hold.setTimerType(Qt::PreciseTimer);
        hold.start(400);
        serveUntil([&] { return !hold.isActive(); });
        const int stopped = stops;
        const auto released = Clock::now();
        XTestFakeKeyEvent(display, key, False, CurrentTime);
        XFlush(display);
        if (!serveUntil([&] { return stops > stopped; })) {
            state.SkipWithError("the release did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(stoppedAt - released).count());
    }
    XCloseDisplay(display);
}
BENCHMARK(BM_KeyReleaseUntilStop)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);

}  // namespace

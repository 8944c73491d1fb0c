// The console's latencies on a headless X desktop: first paint after showing, a history
// search per keystroke, and a live caption update.
#include "support/VirtualDesktop.h"
#include "ui/AssemblingTranscriptView.h"
#include "ui/ConsoleModelDouble.h"
#include "ui/ConsoleWindow.h"
#include "ui/HistoryPage.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace vesk {
namespace {

// A headless desktop and an application for one benchmark run. Each run makes its own
// and ends it before returning: a QApplication must not outlive Qt's own statics, which
// are gone by the time a static of ours would be destroyed.
class BenchDesktop {
public:
    BenchDesktop() {
        if (!desktop_.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    bool isRunning() const { return app_ != nullptr; }

private:
    test::VirtualDesktop desktop_;
    int argc_ = 1;
    char name_[16] = "vesk_bench";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

ConsoleWindowOptions benchOptions() {
    ConsoleWindowOptions options;
    options.settings.supportedLocales = [] { return std::vector<std::string>{"en-US", "de", "fr"}; };
    options.settings.openUrl = [](const QUrl&) {};
    return options;
}

// Notes the first paint a widget receives.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

void spinUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

// From the request to show the console (the window is made on first show) to its first
// painted frame.
void BM_ConsoleShowToFirstPaint(benchmark::State& state) {
    BenchDesktop desktop;
    if (!desktop.isRunning()) return state.SkipWithError("no virtual X desktop");
    test::ConsoleModelDouble model;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        ConsoleWindow window(model, benchOptions());
        PaintWatch watch;
        window.installEventFilter(&watch);
        window.present();
        spinUntil([&] { return watch.painted; });
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        if (!watch.painted) state.SkipWithError("the window never painted");
    }
}
BENCHMARK(BM_ConsoleShowToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

std::vector<HistoryEntry> fiftyEntries() {
    const char* topics[] = {"tomatoes in the garden", "quarterly budget review", "cover letter for the bakery",
                            "moving house checklist", "bug in the login form"};
    std::vector<HistoryEntry> entries;
    const double now = historyDateFromUnixSeconds(double(std::time(nullptr)));
    for (int i = 0; i < 50; ++i) {
        const std::string topic = topics[i % 5];
        entries.push_back({"ID-" + std::to_string(i),
                           "please write about the " + topic + " number " + std::to_string(i),
                           "Write about the " + topic + ", item " + std::to_string(i) + ".", now - i * 1500.0,
                           4.0 + i % 7, kAllOutputModes[i % 3]});
    }
    return entries;
}

// One keystroke in the history search: filter, group and list 50 entries.
void BM_HistorySearchKeystroke(benchmark::State& state) {
    BenchDesktop desktop;
    if (!desktop.isRunning()) return state.SkipWithError("no virtual X desktop");
    test::ConsoleModelDouble model;
    model.publishEntries(fiftyEntries());
    ConsoleWindow window(model, benchOptions());
    window.setPage(ConsolePage::prompts);
    window.present();
    const QString typed = QStringLiteral("tomatoes garden");
    int length = 0;
    for (auto _ : state) {
        length = length % typed.size() + 1;
        window.history().setSearchText(typed.left(length));
        benchmark::DoNotOptimize(window.history().listedRowCount());
    }
}
BENCHMARK(BM_HistorySearchKeystroke)->Unit(benchmark::kMicrosecond);

// A live caption update of 200 words where the provisional tail changes: tokens, reveal
// bookkeeping, layout; with the paint of the new frame in the second form.
void BM_LiveTranscriptUpdate200Words(benchmark::State& state) {
    BenchDesktop desktop;
    if (!desktop.isRunning()) return state.SkipWithError("no virtual X desktop");
    const bool paint = state.range(0) != 0;
    AssemblingTranscriptView view;
    view.resize(480, 46);
    QString finalized;
    for (int i = 0; i < 196; ++i) finalized += QStringLiteral("word%1 ").arg(i);
    const QString tails[] = {QStringLiteral("and then the"), QStringLiteral("and then they"),
                             QStringLiteral("and then they went")};
    QImage frame(view.size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        view.setTexts(finalized, tails[step++ % 3] + QStringLiteral(" home"));
        if (paint) view.render(&frame);
    }
    state.counters["words"] = double(view.words().size());
}
BENCHMARK(BM_LiveTranscriptUpdate200Words)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vesk

// Measures the real ProjectVesk process on a headless desktop, as a person uses it:
//   1. key release -> text in the focused window, PocketSphinx and a base-size whisper model
//   2. process start -> icon held by the tray host, 10 starts
//   3. resident memory at rest, with each engine
// Prints a table and exits 0; exits 1 with a sentence when the desktop rig cannot start.
//   vesk_measure_application [--dictations N] [--starts N]
#include "ApplicationRig.h"
#include "Dictations.h"
#include "RandomWhisperModel.h"
#include "core/Settings.h"
#include "speech/SpeechTestAssets.h"
#include "support/EventLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vesk::bench {
namespace {

using namespace std::chrono_literals;

constexpr size_t kMaxTries = 60;
// A name with no published download: the app loads the file as it is, unchecked.
constexpr const char* kWhisperModel = "bench-base";
constexpr int kWhisperEndAfterTokens = 8;

struct Options {
    size_t dictations = 20;
    size_t starts = 10;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

void row(const std::string& measure, const std::string& figure) {
    std::printf("| %-70s | %-34s |\n", measure.c_str(), figure.c_str());
}

std::string milliseconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", value);
    return std::isnan(value) ? "-" : text;
}

std::string megabytes(long kilobytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(kilobytes) * 1024.0 / 1e6);
    return text;
}

void waitUntil(Clock::time_point moment) {
    while (Clock::now() < moment) test::spinFor(20ms);
}

struct StartFigures {
    std::vector<double> tray;     // process start -> the tray host holds our mapped icon
    std::vector<double> console;  // process start -> the console is visible (xdotool's view)
};

StartFigures measureStarts(ApplicationRig& rig, size_t starts) {
    StartFigures figures;
    for (size_t i = 0; i < starts; ++i) {
        RunningApplication app(rig);
        if (!test::spinUntil([&] { return rig.trayHoldsIconOf(app.pid()); }, 20s))
            throw RigUnavailable("The tray never showed the icon of ProjectVesk. Its log:\n" + app.recentLog());
        figures.tray.push_back(millisecondsSince(app.started()));
        app.awaitConsole(20s);
        figures.console.push_back(millisecondsSince(app.started()));
        std::fprintf(stderr, "  start %zu: icon in the tray after %.0f ms, console after %.0f ms\n", i + 1,
                     figures.tray.back(), figures.console.back());
        // Let the start settle (hotkey, sound) before it is asked to end.
        test::spinFor(1000ms);
        if (!app.stop()) std::fprintf(stderr, "  start %zu: did not end cleanly on SIGTERM\n", i + 1);
        test::spinUntil([&] { return !rig.trayHoldsIconOf(app.pid()); }, 5s);
    }
    return figures;
}

struct EngineRun {
    std::string name;
    long idleKilobytes = 0;            // 5 s after start, console shown, nothing dictated
    long afterDictationKilobytes = 0;  // 5 s after the first dictation ended
    Dictation first;                   // the first dictation after start (engine loads lazily)
    std::vector<Dictation> series;
    bool endedCleanly = false;
    std::string problem;
};

EngineRun measureEngine(ApplicationRig& rig, const std::string& name, const Options& options, size_t giveUpAfter) {
    EngineRun result;
    result.name = name;
    std::fprintf(stderr, "%s:\n", name.c_str());
    RunningApplication app(rig);
    app.awaitConsole(20s);
    DictationDriver driver(rig, app);
    waitUntil(app.started() + 5s);
    result.idleKilobytes = app.residentKilobytes();

    result.first = driver.dictate(false);
    std::fprintf(stderr, "  first dictation: %s, result %.0f ms, paste %.0f ms\n", outcomeName(result.first.outcome),
                 result.first.toResultMs, result.first.toPasteMs);
    test::spinFor(5s);
    result.afterDictationKilobytes = app.residentKilobytes();

    result.series = dictateSeries(driver, options.dictations, kMaxTries, giveUpAfter);
    if (!app.running()) result.problem = "ProjectVesk ended during the dictations. Its log:\n" + app.recentLog();
    result.endedCleanly = app.stop();
    return result;
}

void writeWhisperModel(const ApplicationRig& rig) {
    const auto models = rig.home().supportDirectory() / "models";
    std::filesystem::create_directories(models);
    test::WhisperModelShape shape = test::WhisperModelShape::baseEnglish();
    shape.endAfterTokens = kWhisperEndAfterTokens;
    test::writeRandomWhisperModel(models / ("ggml-" + std::string(kWhisperModel) + ".bin"), shape);
    // The voice-activity model arrives with a downloaded whisper model; use it when present.
    const auto voice = test::assets::sileroModel();
    std::error_code error;
    if (std::filesystem::exists(voice))
        std::filesystem::copy_file(voice, models / "ggml-silero-v6.2.0.bin", error);
    else
        std::fprintf(stderr, "  no voice-activity model at %s: whisper runs without it\n", voice.c_str());
}

void reportEngine(const EngineRun& run) {
    std::vector<double> paste;
    std::vector<double> result;
    std::vector<double> resultToPaste;
    size_t paused = 0;
    size_t lost = 0;
    size_t wrongText = 0;
    size_t afterPause = 0;
    size_t afterPauseDelivered = 0;
    size_t afterPausePasted = 0;
    for (const Dictation& dictation : run.series) {
        if (dictation.toResultMs >= 0) result.push_back(dictation.toResultMs);
        switch (dictation.outcome) {
            case Dictation::Outcome::pasted:
                paste.push_back(dictation.toPasteMs);
                if (dictation.toResultMs >= 0) resultToPaste.push_back(dictation.toPasteMs - dictation.toResultMs);
                if (!dictation.textMatches) ++wrongText;
                break;
            case Dictation::Outcome::paused: ++paused; break;
            default: ++lost; break;
        }
        if (dictation.afterPause) {
            ++afterPause;
            if (dictation.toResultMs >= 0) ++afterPauseDelivered;
            if (dictation.outcome == Dictation::Outcome::pasted) ++afterPausePasted;
        }
    }
    const std::string n = " (n=" + std::to_string(paste.size()) + ")";
    row(run.name + ": release -> text in window, p50" + n, milliseconds(percentile(paste, 0.5)));
    row(run.name + ": release -> text in window, p95" + n, milliseconds(percentile(paste, 0.95)));
    row(run.name + ": result stored -> text in window, p50" + n, milliseconds(percentile(resultToPaste, 0.5)));
    const std::string m = " (n=" + std::to_string(result.size()) + ")";
    row(run.name + ": release -> result stored, p50" + m, milliseconds(percentile(result, 0.5)));
    row(run.name + ": release -> result stored, p95" + m, milliseconds(percentile(result, 0.95)));
    row(run.name + ": dictations pasted / held for review / lost",
        std::to_string(paste.size()) + " / " + std::to_string(paused) + " / " + std::to_string(lost) + " of " +
            std::to_string(run.series.size()));
    row(run.name + ": after a review pause, next delivered / pasted", std::to_string(afterPauseDelivered) + " / " +
                                                                          std::to_string(afterPausePasted) + " of " +
                                                                          std::to_string(afterPause));
    row(run.name + ": pasted text differing from the stored result", std::to_string(wrongText));
    row(run.name + ": first dictation after start (" + outcomeName(run.first.outcome) + ")",
        "result " + milliseconds(run.first.toResultMs) + ", paste " +
            (run.first.toPasteMs >= 0 ? milliseconds(run.first.toPasteMs) : std::string("-")));
    row(run.name + ": VmRSS 5 s after start, console shown", megabytes(run.idleKilobytes));
    row(run.name + ": VmRSS 5 s after the first dictation", megabytes(run.afterDictationKilobytes));
    if (!run.endedCleanly) row(run.name + ": ended cleanly on SIGTERM", "no");
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--dictations") == 0) options.dictations = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--starts") == 0) options.starts = std::strtoul(argv[i + 1], nullptr, 10);
    }
    options.dictations = std::max<size_t>(options.dictations, 1);
    options.starts = std::max<size_t>(options.starts, 1);
    return options;
}

int measure(const Options& options) {
    ApplicationRig rig;
    std::fprintf(stderr, "tray starts:\n");
    const StartFigures starts = measureStarts(rig, options.starts);

    const EngineRun sphinx = measureEngine(rig, "PocketSphinx", options, kMaxTries);

    std::fprintf(stderr, "writing a base-size whisper model...\n");
    writeWhisperModel(rig);
    Settings::setString("speechEngine", "whisper");
    Settings::setString("speechModel", kWhisperModel);
    // With random weights every result may be held for review: then the stored result is
    // what is timed, and a few tries say so as well as many.
    const EngineRun whisper = measureEngine(rig, "whisper base-size", options, options.dictations);

    std::printf("| %-70s | %-34s |\n|%s|%s|\n", "measure", "figure", std::string(72, '-').c_str(),
                std::string(36, '-').c_str());
    const std::string n = " (n=" + std::to_string(starts.tray.size());
    row("start -> icon in the tray, median" + n + ", goal <= 500 ms)", milliseconds(percentile(starts.tray, 0.5)));
    row("start -> icon in the tray, fastest / slowest",
        milliseconds(percentile(starts.tray, 0)) + " / " + milliseconds(percentile(starts.tray, 1)));
    row("start -> console visible, median" + n + ")", milliseconds(percentile(starts.console, 0.5)));
    reportEngine(sphinx);
    reportEngine(whisper);
    for (const EngineRun* run : {&sphinx, &whisper})
        if (!run->problem.empty()) std::printf("\n%s: %s\n", run->name.c_str(), run->problem.c_str());
    return 0;
}

}  // namespace
}  // namespace vesk::bench

int main(int argc, char** argv) {
    try {
        return vesk::bench::measure(vesk::bench::parse(argc, argv));
    } catch (const vesk::bench::RigUnavailable& missing) {
        std::fprintf(stderr, "The application could not be measured: %s\n", missing.what());
        return 1;
    }
}

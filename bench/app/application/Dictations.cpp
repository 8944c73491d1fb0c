#include "Dictations.h"

#include "support/EventLoop.h"

#include <cstdio>

namespace vesk::bench {
namespace {

using namespace std::chrono_literals;

// How long after the stored result a paste may still come: the product waits 0.25 s for
// the target to take focus, then pastes through the clipboard.
constexpr auto kPasteGrace = 3s;
constexpr auto kResultTimeout = 60s;

bool hudVisible() { return !ApplicationRig::visibleWindows("^Project Vesk HUD$").empty(); }

}  // namespace

const char* outcomeName(Dictation::Outcome outcome) {
    switch (outcome) {
        case Dictation::Outcome::pasted: return "pasted";
        case Dictation::Outcome::paused: return "held for review";
        case Dictation::Outcome::noResult: return "no result";
        case Dictation::Outcome::noRecording: return "no recording";
    }
    return "?";
}

DictationDriver::DictationDriver(ApplicationRig& rig, RunningApplication& app) : rig_(rig), app_(app) {
    target_ = std::make_unique<test::TargetWindow>();
    if (!target_->isReady()) throw RigUnavailable("The paste-target window did not start: " + target_->problem());
    target_->request("activate");
    test::spinFor(300ms);
}

bool DictationDriver::ensureTargetFocused() {
    const auto focused = [this] { return x11::activeWindow(rig_.display()) == target_->window(); };
    if (focused()) return false;
    target_->request("activate");
    test::runProcess("xdotool", {"windowactivate", "--sync", std::to_string(target_->window())}, 10);
    if (!test::spinUntil(focused, 3s)) throw RigUnavailable("The paste-target window could not get focus back.");
    test::spinFor(200ms);
    return true;
}

Dictation DictationDriver::dictate(bool afterPause) {
    Dictation dictation;
    dictation.afterPause = afterPause;
    dictation.refocused = ensureTargetFocused();
    const std::string before = target_->text();
    const std::string newest = rig_.newestEntry().id;

    run("xdotool", {"keydown", "Control_R"});
    if (!test::spinUntil(hudVisible, 5s)) {
        run("xdotool", {"keyup", "Control_R"});
        dictation.outcome = Dictation::Outcome::noRecording;
        return dictation;
    }
    test::spinFor(300ms);
    if (!rig_.microphone().playRaw(test::goForwardRecording(), 16000))
        throw RigUnavailable("The virtual microphone could not play goforward.raw.");
    test::spinFor(300ms);
    run("xdotool", {"keyup", "Control_R"});
    const Clock::time_point released = Clock::now();

    bool stored = false;
    bool pasted = false;
    while (Clock::now() - released < kResultTimeout && app_.running()) {
        if (!stored && rig_.newestEntry().id != newest) {
            stored = true;
            dictation.toResultMs = millisecondsSince(released);
        }
        if (!pasted && target_->latestText() != before) {
            pasted = true;
            dictation.toPasteMs = millisecondsSince(released);
        }
        if (pasted && stored) break;
        const auto since = std::chrono::duration<double, std::milli>(kPasteGrace).count();
        if (stored && millisecondsSince(released) > dictation.toResultMs + since) break;
        if (pasted && millisecondsSince(released) > dictation.toPasteMs + since) break;
        test::spinFor(1ms);
    }
    if (pasted) {
        const std::string now = target_->latestText();
        const std::string rendered = rig_.newestEntry().renderedText;
        dictation.outcome = Dictation::Outcome::pasted;
        // Exactly the new result after what was there: a result held for review earlier
        // must never be pasted along with it.
        std::string added = now.starts_with(before) ? now.substr(before.size()) : std::string();
        added.erase(0, added.find_first_not_of(' '));
        dictation.textMatches = stored && !rendered.empty() && added == rendered;
    } else {
        dictation.outcome = stored ? Dictation::Outcome::paused : Dictation::Outcome::noResult;
    }
    // The next one starts from rest, as a person's next sentence would.
    test::spinUntil([] { return !hudVisible(); }, 6s);
    test::spinFor(300ms);
    return dictation;
}

std::vector<Dictation> dictateSeries(DictationDriver& driver, size_t wantedPasted, size_t maxTries,
                                     size_t giveUpAfter) {
    std::vector<Dictation> series;
    size_t pasted = 0;
    bool afterPause = false;
    while (pasted < wantedPasted && series.size() < maxTries) {
        if (series.size() >= giveUpAfter && pasted == 0) break;
        const Dictation dictation = driver.dictate(afterPause);
        series.push_back(dictation);
        if (dictation.outcome == Dictation::Outcome::pasted) ++pasted;
        afterPause = dictation.outcome == Dictation::Outcome::paused;
        std::fprintf(stderr, "  dictation %zu: %s, result %.0f ms, paste %.0f ms%s\n", series.size(),
                     outcomeName(dictation.outcome), dictation.toResultMs, dictation.toPasteMs,
                     dictation.refocused ? " (target refocused)" : "");
    }
    return series;
}

}  // namespace vesk::bench

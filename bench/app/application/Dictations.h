#pragma once

#include "ApplicationRig.h"

#include <memory>
#include <string>
#include <vector>

namespace vesk::bench {

// One dictation as a person makes it: Right Ctrl held while the microphone plays
// goforward.raw, then released.
struct Dictation {
    enum class Outcome {
        pasted,       // the text reached the target window
        paused,       // stored and shown, but held for review instead of pasted
        noResult,     // nothing stored within a minute of the release
        noRecording,  // the key press never brought up the HUD
    };
    Outcome outcome = Outcome::noResult;
    double toResultMs = -1;    // key release -> the entry stored in the history
    double toPasteMs = -1;     // key release -> the target window reports the new text
    bool textMatches = false;  // the pasted text is the stored result, after what was there
    bool afterPause = false;   // the one before was held for review
    bool refocused = false;    // the target had lost focus and was activated again
};

// Drives dictations into the paste-target window of one running application. Main
// thread only; the rig and the application outlive it.
class DictationDriver {
public:
    // Opens the target window and gives it focus; throws RigUnavailable when it cannot.
    DictationDriver(ApplicationRig& rig, RunningApplication& app);

    // One dictation; returns once its text is pasted, it is clearly held for review, or a
    // minute has passed, and the HUD has gone (or 6 s have passed).
    Dictation dictate(bool afterPause);

private:
    bool ensureTargetFocused();

    ApplicationRig& rig_;
    RunningApplication& app_;
    std::unique_ptr<test::TargetWindow> target_;
};

// Dictations until `wantedPasted` were pasted or `maxTries` were made, stopping early
// when none of the first `giveUpAfter` was pasted.
std::vector<Dictation> dictateSeries(DictationDriver& driver, size_t wantedPasted, size_t maxTries, size_t giveUpAfter);

const char* outcomeName(Dictation::Outcome outcome);

}  // namespace vesk::bench

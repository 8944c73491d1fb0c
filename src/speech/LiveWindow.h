#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace vesk {

// The rules by which the live recognizer decides what to decode: plain functions over the
// open audio (16 kHz samples since the last finalized text), so they can be checked
// without a model. Counts are in samples.
struct LiveWindowSettings {
    // New audio after which the provisional text is decoded again.
    size_t decodeInterval = 16000;
    // Silence after speech that closes a stretch: its text becomes final.
    size_t pause = 16000 * 6 / 10;
    // Audio kept after a stretch's last detected speech when it is closed.
    size_t spanPadding = 16000 / 5;
    // Silence kept before speech starts, so that a word's onset is not cut.
    size_t silenceKept = 16000 / 2;
    // The longest provisional tail that is decoded; beyond it the older part is committed.
    size_t maximumProvisional = 16000 * 7;
    // About this much stays provisional when the older part is committed.
    size_t provisionalKept = 16000 * 3;
    // A commit takes at least this much audio, so that the decoder has words to work on.
    size_t minimumCommitted = 16000;
    // The cut of a commit is sought within this much audio before the provisional tail.
    size_t commitSearch = 16000 * 3;
    // New audio that arrives while a provisional decode runs and makes its text stale.
    size_t supersededAfter = 16000 * 2;
};

// A stretch of detected speech, [begin, end) in samples of the open audio.
struct SpeechSpan {
    size_t begin = 0;
    size_t end = 0;
    bool operator==(const SpeechSpan&) const = default;
};

// What to do next with the open audio.
struct LiveStep {
    enum class Kind {
        nothing,      // nothing to decode yet
        dropSilence,  // forget [0, end): silence before any speech
        close,        // decode [0, end) as final: the stretch ended at a pause
        commit,       // decode [0, end) as final: the older part of a long stretch
        closeRest,    // decode [0, end) as final: the input has ended
        provisional,  // decode [0, end) as volatile text
    };
    Kind kind = Kind::nothing;
    size_t end = 0;
    bool operator==(const LiveStep&) const = default;
};

// The next step for `open`, the audio not yet finalized. `speech` holds the stretches the
// voice detector found in it, or nothing when there is no detector (then all of it counts
// as speech and only a commit or the end of input finalizes it). A stretch closes once
// its detected speech ended a pause's length before the end of the open audio. Called again after every
// step that finalizes or drops audio, until it answers provisional or nothing.
LiveStep nextLiveStep(std::span<const float> open, const std::optional<std::vector<SpeechSpan>>& speech,
                      bool inputEnded, const LiveWindowSettings& settings = {});

// Where the speech the detector found in [0, through) ends: the end of the last stretch
// of speech that begins before `through`, at most `through`; 0 when none does. Nothing
// without a detector (then all of it counts as speech).
std::optional<size_t> speechEndWithin(const std::optional<std::vector<SpeechSpan>>& speech, size_t through);

// Where to cut the older part of a long stretch off: the quietest point within the search
// range before the provisional tail, so that a word is not cut in two. (A real pause
// there would have closed the stretch already.) Always past the start, so a commit
// makes progress.
size_t commitPoint(std::span<const float> open, const LiveWindowSettings& settings = {});

// The middle of the 20 ms frame with the least energy in [from, to); the later one of
// equally quiet frames. The middle of the range when it holds no whole frame.
size_t quietestPoint(std::span<const float> samples, size_t from, size_t to);

// Whether a provisional decode is no longer worth finishing: `arrivedSince` samples came
// in after it started, or the input ended (a final decode of the same audio follows).
// After a provisional decode was given up, the next one always runs to its end, so that
// a slow machine still shows text.
bool isSuperseded(size_t arrivedSince, bool inputEnded, bool previousSuperseded,
                  const LiveWindowSettings& settings = {});

}  // namespace vesk

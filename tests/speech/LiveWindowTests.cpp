#include "speech/LiveInputQueue.h"
#include "speech/LiveWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk::test {
namespace {

constexpr size_t kSecond = 16000;
constexpr size_t kFrame = 320;  // 20 ms

using Kind = LiveStep::Kind;
using Spans = std::optional<std::vector<SpeechSpan>>;
const Spans kSilenceOnly = std::vector<SpeechSpan>{};  // a detector that found no speech

// `seconds` of a loud sound with the same energy in every frame, silent where `quiet` says.
std::vector<float> soundWithQuiet(double seconds, const std::vector<std::pair<size_t, size_t>>& quiet = {}) {
    std::vector<float> samples(static_cast<size_t>(seconds * kSecond));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = i % 2 ? 0.3f : -0.3f;
    for (const auto& [from, to] : quiet)
        for (size_t i = from; i < to && i < samples.size(); ++i) samples[i] = 0.0f;
    return samples;
}

Spans speech(std::vector<SpeechSpan> spans) { return spans; }

TEST(LiveWindow, TheNextStepFollowsSpeechPausesAndTheWindowLength) {
    const LiveWindowSettings s;
    struct Case {
        std::string name;
        double seconds;
        Spans speech;
        bool inputEnded;
        LiveStep expected;
        std::vector<std::pair<size_t, size_t>> quiet = {};
    };
    const size_t longOpen = s.maximumProvisional + kSecond;
    const double longS = static_cast<double>(longOpen) / kSecond;
    const std::vector<std::pair<size_t, size_t>> quietAt4s = {{4 * kSecond, 4 * kSecond + kFrame}};
    const LiveStep commitAt4s{Kind::commit, 4 * kSecond + kFrame / 2};
    const size_t at3s = 3 * kSecond;
    const Case cases[] = {
        {"no audio", 0, kSilenceOnly, false, {}},
        {"a little silence is kept for a word's onset", 0.4, kSilenceOnly, false, {}},
        {"longer silence is dropped down to what is kept", 2, kSilenceOnly, false,
         LiveStep{Kind::dropSilence, 2 * kSecond - s.silenceKept}},
        {"silence at the end of input is dropped whole", 2, kSilenceOnly, true,
         LiveStep{Kind::dropSilence, 2 * kSecond}},
        {"speech still going is decoded as volatile text", 3, speech({{8000, at3s}}), false,
         LiveStep{Kind::provisional, at3s}},
        {"a pause shorter than the closing one keeps it open", 3, speech({{8000, at3s - s.pause + 1}}), false,
         LiveStep{Kind::provisional, at3s}},
        {"a pause closes the stretch with its padding", 3, speech({{8000, at3s - s.pause}}), false,
         LiveStep{Kind::close, at3s - s.pause + s.spanPadding}},
        {"the last stretch followed by a pause closes, a later one stays open", 6,
         speech({{0, kSecond}, {2 * kSecond, at3s}, {5 * kSecond, 6 * kSecond}}), false,
         LiveStep{Kind::close, at3s + s.spanPadding}},
        {"the end of input finalizes what is open", 3, speech({{8000, at3s}}), true, LiveStep{Kind::closeRest, at3s}},
        {"without a detector everything is speech", 3, std::nullopt, false, LiveStep{Kind::provisional, at3s}},
        {"without a detector the end of input finalizes", 3, std::nullopt, true, LiveStep{Kind::closeRest, at3s}},
        {"a long stretch without a pause commits its older part at a quiet point", longS, speech({{0, longOpen}}),
         false, commitAt4s, quietAt4s},
        {"a long stretch commits before the end of input is finalized", longS, speech({{0, longOpen}}), true,
         commitAt4s, quietAt4s},
        {"without a detector a long stretch commits too", longS, std::nullopt, false, commitAt4s, quietAt4s},
        {"a pause closes a long stretch rather than a commit", longS, speech({{0, kSecond}, {2 * kSecond, longOpen}}),
         false, LiveStep{Kind::close, kSecond + s.spanPadding}, quietAt4s},
        {"at exactly the longest window it is still decoded whole", s.maximumProvisional / double(kSecond),
         std::nullopt, false, LiveStep{Kind::provisional, s.maximumProvisional}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto audio = soundWithQuiet(c.seconds, c.quiet);
        const LiveStep step = nextLiveStep(audio, c.speech, c.inputEnded, s);
        EXPECT_EQ(step.kind, c.expected.kind);
        EXPECT_EQ(step.end, c.expected.end);
    }
}

TEST(LiveWindow, TheSpeechEndOfADecodedStretchIsTheLastDetectedSpeechBeforeItsEnd) {
    const std::vector<SpeechSpan> spans{{100, 400}, {900, 1500}};
    EXPECT_EQ(speechEndWithin(spans, 2000), 1500u);
    EXPECT_EQ(speechEndWithin(spans, 1200), 1200u) << "speech runs on past the stretch";
    EXPECT_EQ(speechEndWithin(spans, 800), 400u);
    EXPECT_EQ(speechEndWithin(spans, 50), 0u) << "no speech in it";
    EXPECT_EQ(speechEndWithin(std::vector<SpeechSpan>{}, 800), 0u);
    EXPECT_EQ(speechEndWithin(std::nullopt, 800), std::nullopt) << "without a detector it is all speech";
}

TEST(LiveWindow, ACommitCutsAtTheQuietestPointBeforeTheKeptTail) {
    const LiveWindowSettings s;  // 3 s kept, the cut sought within 3 s before them, 1 s at least
    struct Case {
        std::string name;
        double seconds;
        std::vector<std::pair<size_t, size_t>> quiet;
        size_t expected;
    };
    const Case cases[] = {
        {"a quiet frame in range", 9, {{5 * kSecond, 5 * kSecond + kFrame}}, 5 * kSecond + kFrame / 2},
        {"the later of two quiet frames", 9, {{4 * kSecond, 4 * kSecond + 2 * kFrame}}, 4 * kSecond + 3 * kFrame / 2},
        {"quiet inside the kept tail is not taken", 9, {{7 * kSecond, 8 * kSecond}}, 6 * kSecond - kFrame / 2},
        {"quiet before the range is not taken", 9, {{2 * kSecond, 3 * kSecond - kFrame}}, 6 * kSecond - kFrame / 2},
        {"quiet within the first second is not taken", 4.5, {{kSecond / 2, kSecond}}, 3 * kSecond / 2 - kFrame / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto audio = soundWithQuiet(c.seconds, c.quiet);
        const size_t cut = commitPoint(audio, s);
        EXPECT_EQ(cut, c.expected);
        EXPECT_GE(audio.size() - cut, s.provisionalKept) << "the newest audio stays provisional";
    }
}

TEST(LiveWindow, TheQuietestPointIsTheMiddleOfTheQuietestFrame) {
    struct Case {
        std::string name;
        std::vector<std::pair<size_t, size_t>> quiet;
        size_t from, to, expected;
    };
    const Case cases[] = {
        {"one quiet frame", {{3200, 3200 + kFrame}}, 0, 8000, 3200 + kFrame / 2},
        {"the later of two equal frames", {{640, 640 + kFrame}, {4800, 4800 + kFrame}}, 0, 8000, 4800 + kFrame / 2},
        {"a quiet frame outside the range is ignored", {{0, kFrame}}, 1600, 8000, 8000 - kFrame / 2},
        {"a range shorter than a frame gives its middle", {}, 100, 300, 200},
        {"a range past the end is cut to the samples", {}, 7900, 9000, 7950},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto audio = soundWithQuiet(0.5, c.quiet);
        EXPECT_EQ(quietestPoint(audio, c.from, c.to), c.expected);
    }
}

TEST(LiveWindow, AVolatileDecodeIsSupersededByEnoughNewAudioOrTheEndButNeverTwiceInARow) {
    const LiveWindowSettings s;
    struct Case {
        size_t arrived;
        bool ended, previousSuperseded, expected;
    };
    const Case cases[] = {
        {0, false, false, false},
        {s.supersededAfter - 1, false, false, false},
        {s.supersededAfter, false, false, true},
        {s.supersededAfter * 3, false, true, false},  // the one after a superseded decode ends
        {0, true, false, true},
        {0, true, true, true},  // a final decode of the same audio follows either way
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.arrived) + (c.ended ? " ended" : "") + (c.previousSuperseded ? " again" : ""));
        EXPECT_EQ(isSuperseded(c.arrived, c.ended, c.previousSuperseded, s), c.expected);
    }
}

// The input queue, sized in seconds of audio whatever the buffers' size and rate.

AudioBuffer marked(double rate, uint32_t frames, float mark) {
    AudioBuffer buffer(rate, 1, frames);
    buffer.setFrameLength(frames);
    buffer.channel(0)[0] = mark;
    return buffer;
}

TEST(LiveInputQueueTest, HoldsSecondsOfAudioAndDropsTheOldestButNeverTheNewest) {
    struct Push {
        double rate;
        uint32_t frames;
    };
    struct Case {
        std::string name;
        double capacity;
        std::vector<Push> pushes;
        size_t firstDropAt;    // index of the first push that reports a drop; pushes.size() for none
        float firstRemaining;  // mark (push index) of the oldest buffer left
        double waiting;
    };
    const auto repeat = [](Push push, size_t n) { return std::vector<Push>(n, push); };
    auto mixed = repeat({48000, 2048}, 46);
    mixed.push_back({16000, 16000});
    const Case cases[] = {
        {"ten tenths fill one second", 1.0, repeat({16000, 1600}, 10), 10, 0, 1.0},
        {"the eleventh tenth drops the first", 1.0, repeat({16000, 1600}, 11), 10, 1, 1.0},
        {"23 recorder buffers fit one second, the 24th does not", 1.0, repeat({48000, 2048}, 24), 23, 1,
         23 * 2048 / 48000.0},
        {"a buffer longer than the queue is kept alone", 0.5, {{16000, 1600}, {16000, 32000}}, 1, 1, 2.0},
        {"what comes after it drops it", 0.5, {{16000, 32000}, {16000, 1600}}, 1, 1, 0.1},
        {"a long buffer drops as many short ones as it needs", 2.0, mixed, 46, 23, 23 * 2048 / 48000.0 + 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveInputQueue queue(c.capacity);
        size_t firstDrop = c.pushes.size();
        for (size_t i = 0; i < c.pushes.size(); ++i)
            if (!queue.push(marked(c.pushes[i].rate, c.pushes[i].frames, static_cast<float>(i))) &&
                firstDrop == c.pushes.size())
                firstDrop = i;
        EXPECT_EQ(firstDrop, c.firstDropAt);
        EXPECT_NEAR(queue.waitingSeconds(), c.waiting, 1e-9);
        queue.finish();
        const auto first = queue.pop();
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->channelSamples(0)[0], c.firstRemaining);
        size_t left = 1;
        while (queue.pop()) ++left;
        EXPECT_EQ(left, c.pushes.size() - static_cast<size_t>(c.firstRemaining));
        EXPECT_EQ(queue.waitingSeconds(), 0.0);
    }
}

TEST(LiveInputQueueTest, FinishedGivesTheRestThenNothingAndCancelledNothingAtOnce) {
    LiveInputQueue finished(1.0);
    finished.push(marked(16000, 1600, 1));
    finished.push(marked(16000, 1600, 2));
    finished.finish();
    EXPECT_TRUE(finished.push(marked(16000, 1600, 3))) << "a push after the end is ignored, not reported";
    EXPECT_EQ(finished.pop()->channelSamples(0)[0], 1);
    EXPECT_EQ(finished.pop()->channelSamples(0)[0], 2);
    EXPECT_FALSE(finished.pop().has_value());

    LiveInputQueue cancelled(1.0);
    cancelled.push(marked(16000, 1600, 1));
    cancelled.cancel();
    EXPECT_TRUE(cancelled.isCancelled());
    EXPECT_FALSE(cancelled.pop().has_value());
    EXPECT_EQ(cancelled.waitingSeconds(), 0.0);
}

}  // namespace
}  // namespace vesk::test

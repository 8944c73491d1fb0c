#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;

// Marks a buffer by its first sample, so a delivery tells which buffer it came from.
AudioBuffer markedBuffer(float mark) {
    AudioBuffer buffer(48000, 1, 64);
    buffer.setFrameLength(64);
    std::fill(buffer.channel(0), buffer.channel(0) + 64, mark);
    return buffer;
}

// Test double for the analysis stage: reports each buffer's mark as its level and can hold
// the worker inside an analysis until the test opens the gate.
class GatedAnalysis final : public BufferAnalysis {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool gateOpen = true;
        int insideAnalysis = 0;
        int analysed = 0;
        int resets = 0;
        std::vector<std::string> events;  // "analyse <mark>" and "reset", in worker order
    };

    explicit GatedAnalysis(Shared& shared) : shared_(shared) {}

    float level(const AudioBuffer& buffer) override { return buffer.channel(0)[0]; }
    WaveformFrame frame(const AudioBuffer& buffer) override {
        std::unique_lock guard(shared_.mutex);
        ++shared_.insideAnalysis;
        shared_.events.push_back("analyse " + std::to_string(buffer.channel(0)[0]));
        shared_.changed.notify_all();
        shared_.changed.wait(guard, [this] { return shared_.gateOpen; });
        --shared_.insideAnalysis;
        ++shared_.analysed;
        return WaveformFrame::zero();
    }
    void reset() override {
        std::lock_guard guard(shared_.mutex);
        ++shared_.resets;
        shared_.events.push_back("reset");
        shared_.changed.notify_all();
    }

private:
    Shared& shared_;
};

// Collects deliveries from the worker thread.
struct Deliveries {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<float> levels;
    std::vector<std::thread::id> threads;
    WaveformFrame last;
    // Called inside the callback, outside the lock, before the delivery is recorded.
    std::function<void(float level)> beforeRecording;
    int concurrent = 0;
    int maxConcurrent = 0;

    AudioVisualizationPipeline::FrameCallback callback() {
        return [this](float level, const WaveformFrame& frame) {
            if (beforeRecording) beforeRecording(level);
            std::lock_guard guard(mutex);
            threads.push_back(std::this_thread::get_id());
            maxConcurrent = std::max(maxConcurrent, ++concurrent);
            levels.push_back(level);
            last = frame;
            --concurrent;
            changed.notify_all();
        };
    }
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, timeout, [&] { return levels.size() >= count; });
    }
    std::vector<float> snapshot() {
        std::lock_guard guard(mutex);
        return levels;
    }
};

template <typename Predicate>
bool waitUntil(GatedAnalysis::Shared& shared, Predicate predicate) {
    std::unique_lock guard(shared.mutex);
    return shared.changed.wait_for(guard, 5s, [&] { return predicate(shared); });
}

void setGate(GatedAnalysis::Shared& shared, bool open) {
    std::lock_guard guard(shared.mutex);
    shared.gateOpen = open;
    shared.changed.notify_all();
}

// A pipeline over the gated analysis, with buffer 0.1 held inside its analysis.
class GatedPipeline : public testing::Test {
protected:
    void SetUp() override {
        shared.gateOpen = false;
        pipeline.setOnFrame(deliveries.callback());
        pipeline.consume(markedBuffer(0.1f));
        ASSERT_TRUE(waitUntil(shared, [](auto& s) { return s.insideAnalysis == 1; }));
    }

    GatedAnalysis::Shared shared;
    Deliveries deliveries;
    AudioVisualizationPipeline pipeline{std::make_unique<GatedAnalysis>(shared)};
};

TEST_F(GatedPipeline, ConsumingDuringAnAnalysisKeepsOnlyTheNewestBuffer) {
    for (int i = 2; i <= 9; ++i) pipeline.consume(markedBuffer(i / 10.0f));
    setGate(shared, true);

    ASSERT_TRUE(deliveries.waitFor(2));
    std::this_thread::sleep_for(50ms);  // room for any wrongly queued extra drain to show up
    EXPECT_EQ(deliveries.snapshot(), (std::vector<float>{0.1f, 0.9f}));
    std::lock_guard guard(shared.mutex);
    EXPECT_EQ(shared.analysed, 2);
    EXPECT_EQ(deliveries.maxConcurrent, 1);
}

// The frames of a source, its stops' silent frames included, all come from the worker.
void expectAllOnOneWorker(Deliveries& deliveries) {
    std::lock_guard guard(deliveries.mutex);
    ASSERT_FALSE(deliveries.threads.empty());
    EXPECT_EQ(std::set<std::thread::id>(deliveries.threads.begin(), deliveries.threads.end()).size(), 1u);
    EXPECT_NE(deliveries.threads.front(), std::this_thread::get_id());
}

// Each stop gives one silent frame, after the frames before it and before those of a later
// start; what was consumed before a stop never follows its silent frame.
TEST_F(GatedPipeline, EachStopsSilentFrameComesFromTheWorkerInItsPlace) {
    pipeline.sourceStopped();  // while 0.1 is being analysed
    pipeline.sourceStarted();
    pipeline.consume(markedBuffer(0.2f));
    pipeline.sourceStopped();
    pipeline.sourceStarted();
    pipeline.consume(markedBuffer(0.3f));
    setGate(shared, true);

    ASSERT_TRUE(deliveries.waitFor(3));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(deliveries.snapshot(), (std::vector<float>{0.0f, 0.0f, 0.3f}));
    expectAllOnOneWorker(deliveries);
}

// Holds the receiving thread inside a delivery until the test opens it.
class ReceiverGate {
public:
    void hold() {
        std::unique_lock guard(mutex_);
        inside_ = true;
        changed_.notify_all();
        changed_.wait(guard, [this] { return open_; });
    }
    bool waitUntilInside() {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, 5s, [this] { return inside_; });
    }
    void open() {
        std::lock_guard guard(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool inside_ = false;
    bool open_ = false;
};

TEST(AudioVisualizationPipeline, AStopDuringADeliveryIsSilencedAfterIt) {
    Deliveries deliveries;
    ReceiverGate gate;
    deliveries.beforeRecording = [&](float level) {
        if (level != 0) gate.hold();
    };
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame(deliveries.callback());
    pipeline.sourceStarted();
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.5f));
    ASSERT_TRUE(gate.waitUntilInside());
    pipeline.sourceStopped();  // while the tone's frame is being delivered
    gate.open();

    ASSERT_TRUE(deliveries.waitFor(2));
    const auto levels = deliveries.snapshot();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_GT(levels[0], 0.1f);
    EXPECT_EQ(levels[1], 0.0f);
    std::lock_guard guard(deliveries.mutex);
    EXPECT_EQ(deliveries.last, WaveformFrame::zero());
    EXPECT_EQ(std::set<std::thread::id>(deliveries.threads.begin(), deliveries.threads.end()).size(), 1u);
}

TEST(AudioVisualizationPipeline, CaptureNeverWaitsForASlowReceiver) {
    ReceiverGate gate;
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame([&](float, const WaveformFrame&) { gate.hold(); });
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    ASSERT_TRUE(gate.waitUntilInside());
    // The receiver is stuck; capture and reset still go straight through.
    for (int i = 0; i < 20; ++i) pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    pipeline.reset();
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    gate.open();
}

TEST_F(GatedPipeline, ABufferAnalysedAcrossAResetIsNeverDelivered) {
    pipeline.reset();  // while 0.1 is being analysed
    setGate(shared, true);
    ASSERT_TRUE(waitUntil(shared, [](auto& s) { return s.resets == 1 && s.analysed == 1; }));

    pipeline.consume(markedBuffer(0.4f));
    ASSERT_TRUE(deliveries.waitFor(1));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(deliveries.snapshot(), std::vector<float>{0.4f});
}

TEST_F(GatedPipeline, APendingBufferIsDroppedByResetAndStateIsClearedFirst) {
    pipeline.consume(markedBuffer(0.2f));  // waits as the pending buffer
    pipeline.reset();                      // drops it
    pipeline.consume(markedBuffer(0.5f));  // belongs to the new generation
    setGate(shared, true);

    ASSERT_TRUE(deliveries.waitFor(1));
    ASSERT_TRUE(waitUntil(shared, [](auto& s) { return s.analysed == 2; }));
    std::this_thread::sleep_for(20ms);
    // 0.1 was consumed before the reset: discarded. 0.2 never analysed. 0.5 analysed from
    // fresh state.
    EXPECT_EQ(deliveries.snapshot(), std::vector<float>{0.5f});
    std::lock_guard guard(shared.mutex);
    EXPECT_EQ(shared.events, (std::vector<std::string>{"analyse 0.100000", "reset", "analyse 0.500000"}));
}

TEST_F(GatedPipeline, AFailedCopyIsDroppedAndLeavesThePendingBufferAlone) {
    pipeline.consume(markedBuffer(0.6f));
    pipeline.consumeCopy(std::nullopt);
    setGate(shared, true);

    ASSERT_TRUE(deliveries.waitFor(2));
    EXPECT_EQ(deliveries.snapshot(), (std::vector<float>{0.1f, 0.6f}));
}

TEST(AudioVisualizationPipeline, TheLastBufferIsAlwaysDeliveredWithoutACallbackNothingBreaks) {
    Deliveries deliveries;
    {
        AudioVisualizationPipeline quiet;  // no callback: analyses and drops
        for (int i = 0; i < 5; ++i) quiet.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    }
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame(deliveries.callback());
    for (int i = 0; i < 30; ++i) pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.01f));
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 1.0f));
    ASSERT_TRUE(deliveries.waitFor(1));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (deliveries.snapshot().back() < 0.9f && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    const auto levels = deliveries.snapshot();
    EXPECT_GT(levels.back(), 0.9f);
    EXPECT_LE(levels.size(), 31u);
}

TEST(AudioVisualizationPipeline, ResetClearsTheRealAnalysisState) {
    Deliveries deliveries;
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame(deliveries.callback());
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.8f));
    ASSERT_TRUE(deliveries.waitFor(1));
    pipeline.reset();
    AudioBuffer silence(48000, 1, 2048);
    silence.setFrameLength(2048);
    pipeline.consume(silence);
    ASSERT_TRUE(deliveries.waitFor(2));
    std::lock_guard guard(deliveries.mutex);
    // Without the reset the spectrum would only have fallen by 14 %.
    EXPECT_EQ(deliveries.last, WaveformFrame::zero());
}

TEST(AudioVisualizationPipeline, DestroyingWithWorkPendingDeliversNothingAfterwards) {
    GatedAnalysis::Shared shared;
    Deliveries deliveries;
    {
        AudioVisualizationPipeline pipeline(std::make_unique<GatedAnalysis>(shared));
        pipeline.setOnFrame(deliveries.callback());
        for (int i = 0; i < 50; ++i) pipeline.consume(markedBuffer(0.5f));
    }
    const auto delivered = deliveries.snapshot().size();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(deliveries.snapshot().size(), delivered);
    EXPECT_LE(delivered, 50u);
}

TEST(AudioVisualizationPipeline, ConcurrentProducersAndResetsStayConsistent) {
    Deliveries deliveries;
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame(deliveries.callback());
    const AudioBuffer tone = makeSineBuffer(48000, 512, 440, 0.2f);
    std::atomic<bool> go{false};
    std::thread capture([&] {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 400; ++i) pipeline.consume(tone);
    });
    std::thread control([&] {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 40; ++i) {
            pipeline.reset();
            std::this_thread::sleep_for(100us);
        }
    });
    go = true;
    capture.join();
    control.join();
    pipeline.consume(tone);
    ASSERT_TRUE(deliveries.waitFor(1));
    EXPECT_EQ(deliveries.maxConcurrent, 1);
}

}  // namespace
}  // namespace vesk

#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
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

// Where a test holds the pipeline's worker, inside an analysis or a delivery, until it opens
// the gate; also what the analysis double saw.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int inside = 0;
    int analysed = 0;
    int resets = 0;
    std::vector<std::string> events;  // "analyse <mark>" and "reset", in worker order

    // On the worker, with `guard` held on `mutex`: waits while the gate is closed.
    void pass(std::unique_lock<std::mutex>& guard) {
        ++inside;
        changed.notify_all();
        changed.wait(guard, [this] { return open; });
        --inside;
    }
    template <typename Predicate>
    bool waitUntil(Predicate predicate) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, 5s, [&] { return predicate(*this); });
    }
    void openGate() {
        std::lock_guard guard(mutex);
        open = true;
        changed.notify_all();
    }
};

// Test double for the analysis stage: reports each buffer's mark as its level and waits at
// the gate inside each analysis.
class GatedAnalysis final : public BufferAnalysis {
public:
    explicit GatedAnalysis(Gate& gate) : gate_(gate) {}

    float level(const AudioBuffer& buffer) override { return buffer.channel(0)[0]; }
    WaveformFrame frame(const AudioBuffer& buffer) override {
        std::unique_lock guard(gate_.mutex);
        gate_.events.push_back("analyse " + std::to_string(buffer.channel(0)[0]));
        gate_.pass(guard);
        ++gate_.analysed;
        return WaveformFrame::zero();
    }
    void reset() override {
        std::lock_guard guard(gate_.mutex);
        ++gate_.resets;
        gate_.events.push_back("reset");
        gate_.changed.notify_all();
    }

private:
    Gate& gate_;
};

// Collects deliveries from the worker thread.
struct Deliveries {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<float> levels;
    std::set<std::thread::id> threads;
    WaveformFrame last;
    // Called inside the callback, outside the lock, before the delivery is recorded.
    std::function<void(float level)> beforeRecording;
    // Callbacks running at once, counted outside the lock so that overlapping deliveries
    // would show.
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};

    AudioVisualizationPipeline::FrameCallback callback() {
        return [this](float level, const WaveformFrame& frame) {
            const int running = ++concurrent;
            for (int seen = maxConcurrent.load();
                 running > seen && !maxConcurrent.compare_exchange_weak(seen, running);) {
            }
            if (beforeRecording) beforeRecording(level);
            {
                std::lock_guard guard(mutex);
                threads.insert(std::this_thread::get_id());
                levels.push_back(level);
                last = frame;
            }
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

// A pipeline over the gated analysis, with buffer 0.1 held inside its analysis.
class GatedPipeline : public testing::Test {
protected:
    void SetUp() override {
        pipeline.setOnFrame(deliveries.callback());
        pipeline.consume(markedBuffer(0.1f));
        ASSERT_TRUE(gate.waitUntil([](auto& s) { return s.inside == 1; }));
    }

    Gate gate;
    Deliveries deliveries;
    AudioVisualizationPipeline pipeline{std::make_unique<GatedAnalysis>(gate)};
};

TEST_F(GatedPipeline, ConsumingDuringAnAnalysisKeepsOnlyTheNewestBuffer) {
    for (int i = 2; i <= 9; ++i) pipeline.consume(markedBuffer(i / 10.0f));
    gate.openGate();

    ASSERT_TRUE(deliveries.waitFor(2));
    std::this_thread::sleep_for(50ms);  // room for any wrongly queued extra drain to show up
    EXPECT_EQ(deliveries.snapshot(), (std::vector<float>{0.1f, 0.9f}));
    std::lock_guard guard(gate.mutex);
    EXPECT_EQ(gate.analysed, 2);
    EXPECT_EQ(deliveries.maxConcurrent.load(), 1);
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
    gate.openGate();

    ASSERT_TRUE(deliveries.waitFor(3));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(deliveries.snapshot(), (std::vector<float>{0.0f, 0.0f, 0.3f}));
    // All of them, the silent frames included, come from the worker.
    std::lock_guard guard(deliveries.mutex);
    EXPECT_EQ(deliveries.threads.size(), 1u);
    EXPECT_FALSE(deliveries.threads.contains(std::this_thread::get_id()));
}

TEST(AudioVisualizationPipeline, AStopDuringADeliveryIsSilencedAfterIt) {
    Deliveries deliveries;
    Gate gate;
    deliveries.beforeRecording = [&](float level) {
        std::unique_lock guard(gate.mutex);
        if (level != 0) gate.pass(guard);
    };
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame(deliveries.callback());
    pipeline.sourceStarted();
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.5f));
    ASSERT_TRUE(gate.waitUntil([](auto& g) { return g.inside == 1; }));
    pipeline.sourceStopped();  // while the tone's frame is being delivered
    gate.openGate();

    ASSERT_TRUE(deliveries.waitFor(2));
    const auto levels = deliveries.snapshot();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_GT(levels[0], 0.1f);
    EXPECT_EQ(levels[1], 0.0f);
    std::lock_guard guard(deliveries.mutex);
    EXPECT_EQ(deliveries.last, WaveformFrame::zero());
    EXPECT_EQ(deliveries.threads.size(), 1u);
}

TEST(AudioVisualizationPipeline, CaptureNeverWaitsForASlowReceiver) {
    Gate gate;
    AudioVisualizationPipeline pipeline;
    pipeline.setOnFrame([&](float, const WaveformFrame&) {
        std::unique_lock guard(gate.mutex);
        gate.pass(guard);
    });
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    ASSERT_TRUE(gate.waitUntil([](auto& g) { return g.inside == 1; }));
    // The receiver is stuck; capture and reset still go straight through.
    for (int i = 0; i < 20; ++i) pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    pipeline.reset();
    pipeline.consume(makeSineBuffer(48000, 2048, 440, 0.3f));
    gate.openGate();
}

TEST_F(GatedPipeline, ABufferAnalysedAcrossAResetIsNeverDelivered) {
    pipeline.reset();  // while 0.1 is being analysed
    gate.openGate();
    ASSERT_TRUE(gate.waitUntil([](auto& s) { return s.resets == 1 && s.analysed == 1; }));

    pipeline.consume(markedBuffer(0.4f));
    ASSERT_TRUE(deliveries.waitFor(1));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(deliveries.snapshot(), std::vector<float>{0.4f});
}

TEST_F(GatedPipeline, APendingBufferIsDroppedByResetAndStateIsClearedFirst) {
    pipeline.consume(markedBuffer(0.2f));  // waits as the pending buffer
    pipeline.reset();                      // drops it
    pipeline.consume(markedBuffer(0.5f));  // belongs to the new generation
    gate.openGate();

    ASSERT_TRUE(deliveries.waitFor(1));
    ASSERT_TRUE(gate.waitUntil([](auto& s) { return s.analysed == 2; }));
    std::this_thread::sleep_for(20ms);
    // 0.1 was consumed before the reset: discarded. 0.2 never analysed. 0.5 analysed from
    // fresh state.
    EXPECT_EQ(deliveries.snapshot(), std::vector<float>{0.5f});
    std::lock_guard guard(gate.mutex);
    EXPECT_EQ(gate.events, (std::vector<std::string>{"analyse 0.100000", "reset", "analyse 0.500000"}));
}

TEST_F(GatedPipeline, AFailedCopyIsDroppedAndLeavesThePendingBufferAlone) {
    pipeline.consume(markedBuffer(0.6f));
    pipeline.consumeCopy(std::nullopt);
    gate.openGate();

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
    Gate gate;
    gate.open = true;
    Deliveries deliveries;
    {
        AudioVisualizationPipeline pipeline(std::make_unique<GatedAnalysis>(gate));
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
    EXPECT_EQ(deliveries.maxConcurrent.load(), 1);
}

}  // namespace
}  // namespace vesk

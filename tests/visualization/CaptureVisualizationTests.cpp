// The capture sources with their visualization attached, on a private sound server.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AmbientAudioMeter.h"
#include "audio/AudioRecorder.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"
#include "visualization/AudioVisualizationPipeline.h"
#include "visualization/TestSignals.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;

struct DeliveredFrame {
    float level = 0;
    bool silent = false;
    std::thread::id thread;
};

// Every frame a pipeline delivers, in order.
class FrameLog {
public:
    AudioVisualizationPipeline::FrameCallback callback() {
        return [this](float level, const WaveformFrame& frame) {
            std::lock_guard lock(mutex_);
            frames_.push_back({level, level == 0 && frame == WaveformFrame::zero(), std::this_thread::get_id()});
            changed_.notify_all();
        };
    }
    bool waitUntil(const std::function<bool(const std::vector<DeliveredFrame>&)>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return done(frames_); });
    }
    std::vector<DeliveredFrame> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DeliveredFrame> frames_;
};

std::vector<float> tone(double seconds, unsigned rate) {
    const AudioBuffer buffer = makeSineBuffer(rate, static_cast<uint32_t>(seconds * rate), 440, 0.5f);
    return {buffer.channel(0), buffer.channel(0) + buffer.frameLength()};
}

// Runs a source with a pipeline attached, stops it while it still hears a tone, and returns
// what the pipeline delivered from the first loud frame on, until well after the stop.
template <typename Source>
std::vector<DeliveredFrame> framesAroundAStop(Source& source, const std::function<void()>& start,
                                              const std::function<void()>& stop,
                                              const test::VirtualMicrophone& microphone) {
    const auto pipeline = std::make_shared<AudioVisualizationPipeline>();
    FrameLog log;
    pipeline->setOnFrame(log.callback());
    source.setBufferObserver(pipeline);
    start();
    std::thread player([&] { EXPECT_TRUE(microphone.playSamples(tone(1.5, 16000), 16000)); });
    const auto loud = [](const std::vector<DeliveredFrame>& frames) {
        return std::find_if(frames.begin(), frames.end(), [](const auto& f) { return f.level > 0.1f; });
    };
    EXPECT_TRUE(log.waitUntil([&](const auto& frames) { return loud(frames) != frames.end(); }));
    stop();
    EXPECT_TRUE(log.waitUntil([](const auto& frames) { return frames.back().silent; }));
    player.join();
    std::this_thread::sleep_for(100ms);  // room for a stale frame to show up
    const auto frames = log.frames();
    pipeline->setOnFrame(nullptr);
    source.setBufferObserver(nullptr);
    return {loud(frames), frames.end()};
}

// Each source feeds the pipeline it is given, and its stop ends the frames with exactly one
// silent frame, after which nothing of the stopped source arrives.
TEST(CaptureVisualization, AStopEndsTheFramesWithOneSilentFrame) {
    test::ScratchHome home;
    test::VirtualMicrophone microphone{16000, 1};
    ASSERT_TRUE(microphone.running()) << "no virtual microphone: " << microphone.unavailableReason();
    auto connection = PulseConnection::create();
    AudioRecorder recorder(connection);
    AmbientAudioMeter meter(connection);

    const auto expectOneSilentFrameLast = [](const std::vector<DeliveredFrame>& frames) {
        ASSERT_GE(frames.size(), 2u);
        EXPECT_TRUE(frames.back().silent);
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const auto& f) { return f.silent; }), 1);
        // One thread for all of them: the pipeline's worker, not the one that stopped.
        EXPECT_NE(frames.back().thread, std::this_thread::get_id());
        EXPECT_TRUE(std::all_of(frames.begin(), frames.end(),
                                [&](const auto& f) { return f.thread == frames.front().thread; }));
    };
    {
        SCOPED_TRACE("recorder");
        expectOneSilentFrameLast(framesAroundAStop(
            recorder, [&] { recorder.start(); }, [&] { recorder.cancel(); }, microphone));
    }
    {
        SCOPED_TRACE("ambient meter");
        expectOneSilentFrameLast(framesAroundAStop(
            meter, [&] { meter.start(); }, [&] { meter.stop(); }, microphone));
    }
}

}  // namespace
}  // namespace vesk

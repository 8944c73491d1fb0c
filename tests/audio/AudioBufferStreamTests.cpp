#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/AudioBufferStream.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;

AudioBuffer numbered(float value) {
    AudioBuffer buffer(16000, 1, 4);
    buffer.setFrameLength(4);
    for (int i = 0; i < 4; ++i) buffer.channel(0)[i] = value;
    return buffer;
}

float valueOf(const AudioBuffer& buffer) { return buffer.channel(0)[0]; }

TEST(AudioBufferStream, KeepsTheNewestWhenFullAndSaysItDropped) {
    AudioBufferStream stream(3);
    std::atomic<int> readyCalls = 0;
    stream.setReadyHandler([&] { ++readyCalls; });
    for (const float value : {1, 2, 3})
        EXPECT_EQ(stream.push(numbered(value)), AudioBufferStream::PushResult::enqueued);
    EXPECT_EQ(stream.push(numbered(4)), AudioBufferStream::PushResult::droppedOldest);
    EXPECT_EQ(stream.push(numbered(5)), AudioBufferStream::PushResult::droppedOldest);
    EXPECT_EQ(stream.size(), 3u);
    EXPECT_EQ(valueOf(*stream.next()), 3);
    EXPECT_EQ(valueOf(*stream.next()), 4);
    EXPECT_EQ(stream.push(numbered(6)), AudioBufferStream::PushResult::enqueued);
    EXPECT_EQ(valueOf(*stream.next()), 5);
    EXPECT_EQ(valueOf(*stream.next()), 6);
    EXPECT_FALSE(stream.tryNext());
    EXPECT_EQ(readyCalls, 6) << "the ready handler hears every arrival, dropped or not";
}

TEST(AudioBufferStream, AFinishedStreamDrainsWhatWaitsThenEnds) {
    AudioBufferStream stream(4);
    std::atomic<int> readyCalls = 0;
    stream.setReadyHandler([&] { ++readyCalls; });
    stream.push(numbered(1));
    stream.finish();
    stream.finish();
    EXPECT_EQ(readyCalls, 2) << "the end is announced once";
    EXPECT_EQ(stream.push(numbered(2)), AudioBufferStream::PushResult::finished);
    EXPECT_EQ(valueOf(*stream.next()), 1);
    EXPECT_FALSE(stream.next());
    EXPECT_FALSE(stream.next(10ms));
    EXPECT_TRUE(AudioBufferStream::finishedStream()->isFinished());
    EXPECT_FALSE(AudioBufferStream::finishedStream()->next());
}

// A reader blocked in next() wakes for each arrival and for the end; when it is slower
// than the producer it loses only the oldest buffers.
TEST(AudioBufferStream, ConcurrentProducerAndSlowConsumerLoseOnlyOldBuffers) {
    AudioBufferStream stream(8);
    std::atomic<int> dropped = 0;
    std::thread producer([&] {
        for (int i = 0; i < 2000; ++i)
            if (stream.push(numbered(static_cast<float>(i))) == AudioBufferStream::PushResult::droppedOldest) ++dropped;
        stream.finish();
    });
    std::vector<float> seen;
    while (auto buffer = stream.next()) {
        seen.push_back(valueOf(*buffer));
        if (seen.size() % 16 == 0) std::this_thread::sleep_for(100us);
    }
    producer.join();
    EXPECT_EQ(static_cast<int>(seen.size()) + dropped, 2000);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1999);
}

}  // namespace
}  // namespace vesk

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "audio/AudioBuffer.h"

namespace vesk {

// A bounded hand-over of captured buffers from the capture thread to one consumer. The
// producer never waits: when the stream is full the oldest waiting buffer is dropped and
// `push` says so. The consumer reads until the stream is finished and empty.
class AudioBufferStream {
public:
    enum class PushResult { enqueued, droppedOldest, finished };

    explicit AudioBufferStream(size_t capacity);

    // A stream that has already ended: a reader's loop ends at once.
    static std::shared_ptr<AudioBufferStream> finishedStream();

    PushResult push(AudioBuffer buffer);
    // Ends the stream; buffers already waiting can still be read.
    void finish();

    // Waits for the next buffer; nothing once the stream is finished and drained.
    std::optional<AudioBuffer> next();
    // As `next`, waiting at most `timeout`; nothing also when the time ran out.
    std::optional<AudioBuffer> next(std::chrono::milliseconds timeout);
    std::optional<AudioBuffer> tryNext();

    // Called (on the producer's thread, without any lock held) whenever a buffer arrives
    // or the stream ends, for consumers that would rather be woken than wait.
    void setReadyHandler(std::function<void()> handler);

    bool isFinished() const;
    size_t capacity() const { return capacity_; }
    size_t size() const;

private:
    std::optional<AudioBuffer> takeLocked();
    void notifyReady();

    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable available_;
    std::deque<AudioBuffer> buffers_;
    bool finished_ = false;
    std::shared_ptr<std::function<void()>> readyHandler_;
};

}  // namespace vesk

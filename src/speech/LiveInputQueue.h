#pragma once

#include "audio/AudioBuffer.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace vesk {

// A bounded queue of audio buffers for the live recognizer: it never blocks the
// producer; when full, the oldest waiting buffer is dropped and the push says so.
class LiveInputQueue {
public:
    explicit LiveInputQueue(size_t capacity) : capacity_(capacity) {}
    // False when a buffer had to be dropped to make room.
    bool push(AudioBuffer buffer);
    // The next buffer; nothing once the queue is finished (after the waiting buffers) or
    // cancelled (at once).
    std::optional<AudioBuffer> pop();
    void finish();
    void cancel();
    bool isCancelled() const;

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<AudioBuffer> buffers_;
    bool finished_ = false;
    bool cancelled_ = false;
};

}  // namespace vesk

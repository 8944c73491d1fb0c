#pragma once

#include "audio/AudioBuffer.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace vesk {

// A bounded queue of audio buffers for the live recognizer, sized in seconds of audio so
// that the buffer size does not matter. It never blocks the producer; when more audio
// waits than it holds, the oldest waiting buffers are dropped (never the one just
// pushed) and the push says so. Any thread may push, pop, finish and cancel.
class LiveInputQueue {
public:
    explicit LiveInputQueue(double capacitySeconds) : capacitySeconds_(capacitySeconds) {}
    // False when buffers had to be dropped to make room.
    bool push(AudioBuffer buffer);
    // The next buffer; waits for one. Nothing once the queue is finished (after the
    // waiting buffers) or cancelled (at once).
    std::optional<AudioBuffer> pop();
    void finish();
    void cancel();
    bool isCancelled() const;
    // Seconds of audio waiting.
    double waitingSeconds() const;

private:
    static double secondsOf(const AudioBuffer& buffer);

    const double capacitySeconds_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<AudioBuffer> buffers_;
    double waitingSeconds_ = 0;
    bool finished_ = false;
    bool cancelled_ = false;
};

}  // namespace vesk

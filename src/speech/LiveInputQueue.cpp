#include "speech/LiveInputQueue.h"

#include <utility>

namespace vesk {

namespace {

// Buffer lengths are not exact in binary: a full queue may exceed its capacity by this.
constexpr double kRounding = 1e-9;

}  // namespace

double LiveInputQueue::secondsOf(const AudioBuffer& buffer) {
    return buffer.sampleRate() > 0 ? buffer.frameLength() / buffer.sampleRate() : 0.0;
}

bool LiveInputQueue::push(AudioBuffer buffer) {
    bool kept = true;
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return true;
        waitingSeconds_ += secondsOf(buffer);
        buffers_.push_back(std::move(buffer));
        while (buffers_.size() > 1 && waitingSeconds_ > capacitySeconds_ + kRounding) {
            waitingSeconds_ -= secondsOf(buffers_.front());
            buffers_.pop_front();
            kept = false;
        }
    }
    ready_.notify_one();
    return kept;
}

std::optional<AudioBuffer> LiveInputQueue::pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return cancelled_ || finished_ || !buffers_.empty(); });
    if (cancelled_ || buffers_.empty()) return std::nullopt;
    AudioBuffer buffer = std::move(buffers_.front());
    buffers_.pop_front();
    // Recounted when empty, so rounding never adds up over a long session.
    waitingSeconds_ = buffers_.empty() ? 0.0 : waitingSeconds_ - secondsOf(buffer);
    return buffer;
}

void LiveInputQueue::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    ready_.notify_all();
}

void LiveInputQueue::cancel() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        buffers_.clear();
        waitingSeconds_ = 0;
    }
    ready_.notify_all();
}

bool LiveInputQueue::isCancelled() const {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

double LiveInputQueue::waitingSeconds() const {
    const std::lock_guard lock(mutex_);
    return waitingSeconds_;
}

}  // namespace vesk

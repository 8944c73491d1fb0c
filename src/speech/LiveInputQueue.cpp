#include "speech/LiveInputQueue.h"

#include <utility>

namespace vesk {

bool LiveInputQueue::push(AudioBuffer buffer) {
    bool kept = true;
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return true;
        if (buffers_.size() >= capacity_) {
            buffers_.pop_front();
            kept = false;
        }
        buffers_.push_back(std::move(buffer));
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
    }
    ready_.notify_all();
}

bool LiveInputQueue::isCancelled() const {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

}  // namespace vesk

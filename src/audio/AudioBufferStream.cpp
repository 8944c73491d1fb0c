#include "audio/AudioBufferStream.h"

namespace vesk {

AudioBufferStream::AudioBufferStream(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

std::shared_ptr<AudioBufferStream> AudioBufferStream::finishedStream() {
    auto stream = std::make_shared<AudioBufferStream>(1);
    stream->finish();
    return stream;
}

AudioBufferStream::PushResult AudioBufferStream::push(AudioBuffer buffer) {
    PushResult result = PushResult::enqueued;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return PushResult::finished;
        if (buffers_.size() >= capacity_) {
            buffers_.pop_front();
            result = PushResult::droppedOldest;
        }
        buffers_.push_back(std::move(buffer));
    }
    available_.notify_one();
    notifyReady();
    return result;
}

void AudioBufferStream::finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
    }
    available_.notify_all();
    notifyReady();
}

std::optional<AudioBuffer> AudioBufferStream::takeLocked() {
    if (buffers_.empty()) return std::nullopt;
    AudioBuffer buffer = std::move(buffers_.front());
    buffers_.pop_front();
    return buffer;
}

std::optional<AudioBuffer> AudioBufferStream::next() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return !buffers_.empty() || finished_; });
    return takeLocked();
}

std::optional<AudioBuffer> AudioBufferStream::next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    available_.wait_for(lock, timeout, [this] { return !buffers_.empty() || finished_; });
    return takeLocked();
}

std::optional<AudioBuffer> AudioBufferStream::tryNext() {
    std::lock_guard lock(mutex_);
    return takeLocked();
}

void AudioBufferStream::setReadyHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    readyHandler_ = handler ? std::make_shared<std::function<void()>>(std::move(handler)) : nullptr;
}

void AudioBufferStream::notifyReady() {
    std::shared_ptr<std::function<void()>> handler;
    {
        std::lock_guard lock(mutex_);
        handler = readyHandler_;
    }
    if (handler) (*handler)();
}

bool AudioBufferStream::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

size_t AudioBufferStream::size() const {
    std::lock_guard lock(mutex_);
    return buffers_.size();
}

}  // namespace vesk

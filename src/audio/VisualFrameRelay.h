#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "visualization/WaveformFrame.h"

namespace vesk {

using VisualFrameCallback = std::function<void(float level, const WaveformFrame& frame)>;

// Carries analysed frames from a capture source's pipeline (its analysis thread) to the
// source's `onVisualFrame`, which the main thread may replace at any time. The pipeline
// holds the relay weakly, so frames analysed after the source is gone go nowhere.
class VisualFrameRelay {
public:
    void setCallback(VisualFrameCallback callback) {
        std::lock_guard lock(mutex_);
        callback_ = callback ? std::make_shared<const VisualFrameCallback>(std::move(callback)) : nullptr;
    }

    void deliver(float level, const WaveformFrame& frame) const {
        std::shared_ptr<const VisualFrameCallback> callback;
        {
            std::lock_guard lock(mutex_);
            callback = callback_;
        }
        if (callback) (*callback)(level, frame);
    }

    // The pipeline's frame callback: forwards to the relay while it exists.
    static auto forwarder(const std::shared_ptr<VisualFrameRelay>& relay) {
        return [weak = std::weak_ptr<VisualFrameRelay>(relay)](float level, const WaveformFrame& frame) {
            if (auto strong = weak.lock()) strong->deliver(level, frame);
        };
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const VisualFrameCallback> callback_;
};

}  // namespace vesk

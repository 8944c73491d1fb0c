#include "visualization/AudioVisualizationPipeline.h"

#include "visualization/SelfTestOutput.h"
#include "visualization/TestSignals.h"
#include "visualization/WaveformSampler.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

namespace vesk {

float BandSplitterAnalysis::level(const AudioBuffer& buffer) { return WaveformSampler::normalizedLevel(buffer); }

AudioVisualizationPipeline::AudioVisualizationPipeline()
    : AudioVisualizationPipeline(std::make_unique<BandSplitterAnalysis>()) {}

AudioVisualizationPipeline::AudioVisualizationPipeline(std::unique_ptr<BufferAnalysis> analysis)
    : analysis_(std::move(analysis)), worker_([this] { run(); }) {}

AudioVisualizationPipeline::~AudioVisualizationPipeline() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void AudioVisualizationPipeline::setOnFrame(FrameCallback callback) {
    auto shared = callback ? std::make_shared<const FrameCallback>(std::move(callback)) : nullptr;
    std::lock_guard guard(lock_);
    onFrame_ = std::move(shared);
}

void AudioVisualizationPipeline::consume(const AudioBuffer& buffer) {
    // The capture system reuses its buffers, so the pipeline keeps a private copy.
    consumeCopy(buffer.detachedCopy());
}

void AudioVisualizationPipeline::consumeCopy(std::optional<AudioBuffer> copy) {
    if (!copy) return;
    std::optional<PendingFrame> replaced;  // released after the lock, off the critical section
    bool wakeWorker = false;
    {
        std::lock_guard guard(lock_);
        replaced = std::exchange(pending_, PendingFrame{std::move(*copy), generation_});
        if (!isDraining_) {
            isDraining_ = true;
            wakeWorker = true;
        }
    }
    if (wakeWorker) wake_.notify_one();
}

void AudioVisualizationPipeline::reset() {
    std::optional<PendingFrame> dropped;
    {
        std::lock_guard guard(lock_);
        ++generation_;
        dropped = std::exchange(pending_, std::nullopt);
        resetRequested_ = true;
    }
    wake_.notify_one();
}

void AudioVisualizationPipeline::resetToSilence() {
    std::optional<PendingFrame> dropped;
    {
        std::lock_guard guard(lock_);
        ++generation_;
        dropped = std::exchange(pending_, std::nullopt);
        resetRequested_ = true;
        ++silentFramesOwed_;
    }
    wake_.notify_one();
}

void AudioVisualizationPipeline::run() {
    pthread_setname_np(pthread_self(), "vesk-audio-vis");
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return stopping_ || resetRequested_ || silentFramesOwed_ > 0 || isDraining_; });
        if (stopping_) return;

        // Work is taken in the order that keeps results honest: a requested reset first, so a
        // buffer consumed after it is analysed from fresh state.
        if (resetRequested_) {
            resetRequested_ = false;
            guard.unlock();
            analysis_->reset();
            guard.lock();
            continue;
        }
        // A stop's silent frame comes before anything consumed after the stop; whatever was
        // consumed before it was dropped or will fail the generation test.
        if (silentFramesOwed_ > 0) {
            --silentFramesOwed_;
            const std::shared_ptr<const FrameCallback> onFrame = onFrame_;
            guard.unlock();
            if (onFrame) (*onFrame)(0.0f, WaveformFrame::zero());
            guard.lock();
            continue;
        }
        if (!pending_) {
            isDraining_ = false;
            continue;
        }

        PendingFrame next = std::move(*pending_);
        pending_.reset();
        guard.unlock();

        const float level = analysis_->level(next.buffer);
        const WaveformFrame frame = analysis_->frame(next.buffer);

        guard.lock();
        const bool current = next.generation == generation_;
        const std::shared_ptr<const FrameCallback> onFrame = onFrame_;
        guard.unlock();
        if (current && onFrame) (*onFrame)(level, frame);
        guard.lock();
    }
}

bool AudioVisualizationPipeline::runSelfTest() {
    constexpr double rate = 48000.0;
    constexpr uint32_t frames = 2048;
    constexpr int quietCount = 80;
    const char* const failure = "latest-frame visualization backpressure";

    std::vector<AudioBuffer> buffers;
    try {
        buffers.reserve(quietCount + 1);
        for (int i = 0; i < quietCount; ++i)
            buffers.push_back(makeSineBuffer(rate, frames, 220, i % 2 == 0 ? 0.012f : 0.018f));
        buffers.push_back(makeSineBuffer(rate, frames, 1200, 0.82f));
    } catch (const std::bad_alloc&) {
        return selftest::report(false, failure);
    }

    std::mutex deliveryLock;
    std::condition_variable loudArrived;
    int delivered = 0;
    bool sawLoud = false;

    using Clock = std::chrono::steady_clock;
    int deliveredAtLoud = 0;
    bool loudInTime = false;
    double milliseconds = 0;
    {
        // The run is the feeding and the wait for the loud frame; starting and stopping the
        // worker thread is set-up, outside the timed window.
        AudioVisualizationPipeline pipeline;
        pipeline.setOnFrame([&](float level, const WaveformFrame&) {
            std::lock_guard guard(deliveryLock);
            ++delivered;
            if (level > 0.75f && !sawLoud) {
                sawLoud = true;
                loudArrived.notify_one();
            }
        });
        const auto start = Clock::now();
        for (const AudioBuffer& buffer : buffers) pipeline.consume(buffer);

        std::unique_lock guard(deliveryLock);
        loudInTime = loudArrived.wait_until(guard, start + std::chrono::seconds(1), [&] { return sawLoud; });
        milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        deliveredAtLoud = delivered;
    }

    const bool passed = loudInTime && milliseconds < 1000.0 && deliveredAtLoud < quietCount + 1;
    char label[96];
    std::snprintf(label, sizeof label, "latest-frame visualization backpressure (%d delivered, %.0f ms)",
                  deliveredAtLoud, milliseconds);
    return selftest::report(passed, label);
}

}  // namespace vesk

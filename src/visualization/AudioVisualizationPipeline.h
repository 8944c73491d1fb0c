#pragma once

#include "audio/AudioBuffer.h"
#include "audio/AudioBufferObserver.h"
#include "visualization/WaveformAnalysis.h"
#include "visualization/WaveformFrame.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vesk {

// The analysis stage of the pipeline: level and frame for one buffer, with state carried from
// buffer to buffer. Called only on the pipeline's worker.
class BufferAnalysis {
public:
    virtual ~BufferAnalysis() = default;
    virtual float level(const AudioBuffer& buffer) = 0;
    virtual WaveformFrame frame(const AudioBuffer& buffer) = 0;
    // Forget the carried state (filter memories, spectrum smoothing).
    virtual void reset() = 0;
};

// The product's analysis: WaveformSampler's level and a WaveformBandSplitter.
class BandSplitterAnalysis final : public BufferAnalysis {
public:
    float level(const AudioBuffer& buffer) override;
    WaveformFrame frame(const AudioBuffer& buffer) override { return bandSplitter_.frame(buffer); }
    void reset() override { bandSplitter_.reset(); }

private:
    WaveformBandSplitter bandSplitter_;
};

// Carries microphone buffers from the capture thread to the displays. The capture side hands
// every buffer to `consume`, which keeps only the newest one and wakes one serial analysis
// worker; the worker turns it into a level and a WaveformFrame and passes them to the frame
// callback. Buffers overtaken before analysis are dropped, never queued, so the display lags
// by at most one buffer and memory holds one pending copy plus the one being analysed.
//
// It is the observer a capture source is given (one pipeline per source): a start resets it,
// a stop resets it and makes the displays fall silent.
class AudioVisualizationPipeline final : public AudioBufferObserver {
public:
    // Receives (level, frame) on the pipeline's worker thread, every frame on that one thread,
    // one at a time; it must hop to the main thread itself before touching anything there.
    using FrameCallback = std::function<void(float level, const WaveformFrame& frame)>;

    // The worker's name, for logs and debuggers.
    static constexpr const char* queueLabel = "local.projectvesk.audio-visualization";

    AudioVisualizationPipeline();
    explicit AudioVisualizationPipeline(std::unique_ptr<BufferAnalysis> analysis);
    // Stops the worker; work not yet started is dropped, a silent frame not yet delivered
    // included. Must not run on the worker itself (that is, not from inside the frame
    // callback).
    ~AudioVisualizationPipeline() override;
    AudioVisualizationPipeline(const AudioVisualizationPipeline&) = delete;
    AudioVisualizationPipeline& operator=(const AudioVisualizationPipeline&) = delete;

    // Set before capture starts; may be replaced later, taking effect from the next frame.
    void setOnFrame(FrameCallback callback);

    // Capture thread: one copy, one short lock, at most one wake-up of the worker; never waits
    // for analysis.
    void consume(const AudioBuffer& buffer) override;
    // The same for a copy already made (nothing when the copy could not be had, which drops
    // the buffer and leaves any pending one alone).
    void consumeCopy(std::optional<AudioBuffer> copy);

    // A source started or stopped: results of buffers consumed before now are never delivered,
    // and the analysis state starts afresh.
    void reset();
    // A source stopped: `reset`, and then the worker delivers one silent frame (level 0,
    // `WaveformFrame::zero()`) after every frame it delivered before, and before any frame of
    // a buffer consumed later. Returns at once.
    void resetToSilence();

    void sourceStarted() override { reset(); }
    void sourceStopped() override { resetToSilence(); }

    // The built-in check of latest-frame backpressure; prints one PASS/FAIL line.
    static bool runSelfTest();

private:
    struct PendingFrame {
        AudioBuffer buffer;
        uint64_t generation = 0;
    };

    void run();

    std::mutex lock_;
    std::condition_variable wake_;
    std::optional<PendingFrame> pending_;
    bool isDraining_ = false;        // a drain is scheduled or running
    bool resetRequested_ = false;    // the analysis state must start afresh before the next frame
    unsigned silentFramesOwed_ = 0;  // one per stop whose silent frame is not delivered yet
    bool stopping_ = false;
    uint64_t generation_ = 0;
    std::shared_ptr<const FrameCallback> onFrame_;

    std::unique_ptr<BufferAnalysis> analysis_;  // touched only by the worker
    std::thread worker_;                        // last: starts once everything above exists
};

}  // namespace vesk

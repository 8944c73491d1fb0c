#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "audio/AudioBuffer.h"
#include "audio/PulseConnection.h"

struct pa_stream;

namespace vesk {

// Which input the capture engine opens, and in which format. The real one asks the sound
// server for its default source; a test can stand in a device with no input or no
// channels while the capture path stays the real one.
class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual InputFormat inputFormat() = 0;
};

class DefaultInputDevice final : public InputDevice {
public:
    explicit DefaultInputDevice(std::shared_ptr<PulseConnection> connection);
    InputFormat inputFormat() override;

private:
    std::shared_ptr<PulseConnection> connection_;
};

// Time spent in the capture callback (all of its calls) since the stream opened, and the
// buffers it delivered: what the capture-cost measurements read.
struct CaptureStatistics {
    uint64_t buffers = 0;
    uint64_t callbacks = 0;
    std::chrono::nanoseconds callbackTime{0};     // wall-clock
    std::chrono::nanoseconds callbackCpuTime{0};  // the capture thread's own processor time
    std::chrono::nanoseconds longestCallback{0};
};

// The capture graph of one source: a record stream on the shared connection, in the
// source's own rate and channel count as 32-bit float, cut into buffers of a fixed frame
// count and handed to the tap on the connection's event thread. Its operations are meant
// for one controlling thread (the main thread); the tap runs on the event thread and must
// not call back into the engine.
class CaptureEngine {
public:
    using Tap = std::function<void(const AudioBuffer&)>;

    CaptureEngine(std::shared_ptr<PulseConnection> connection, std::shared_ptr<InputDevice> device);
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    InputFormat inputFormat();
    void installTap(uint32_t bufferFrames, const InputFormat& format, Tap tap);
    void removeTap();
    // Opens the stream; throws `vesk::Error` (domain "PulseAudio") when it cannot.
    void start();
    // Hands the last, shorter buffer to the tap so nothing captured is lost, then closes
    // the stream. Once it returns the tap is no longer called.
    void stop();
    bool isRunning() const;

    CaptureStatistics statistics() const;

    static constexpr uint32_t kTapBufferFrames = 2048;

private:
    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamReadable(pa_stream* stream, size_t bytes, void* userdata);
    void readAvailable();
    // `interleaved` null appends silence.
    void append(const float* interleaved, size_t frames);
    void deliver();
    void closeStream();

    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<InputDevice> device_;
    // Guarded by the connection's lock, which the capture callback holds while it runs.
    pa_stream* stream_ = nullptr;
    InputFormat format_;
    uint32_t bufferFrames_ = kTapBufferFrames;
    Tap tap_;
    AudioBuffer pending_;
    CaptureStatistics statistics_;
};

}  // namespace vesk

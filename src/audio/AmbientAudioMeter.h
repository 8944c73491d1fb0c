#pragma once

#include <memory>

#include "audio/AudioBufferObserver.h"
#include "audio/CaptureEngine.h"
#include "audio/PulseConnection.h"

namespace vesk {

// What the application needs from the idle-time level meter.
class AmbientMeter {
public:
    virtual ~AmbientMeter() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// Keeps the level displays alive while no dictation runs: listens to the default
// microphone and hands every buffer to its observer (a visualization of its own), writing
// and recognizing nothing.
class AmbientAudioMeter final : public AmbientMeter {
public:
    static constexpr int kNoInputErrorCode = 2;

    explicit AmbientAudioMeter(std::shared_ptr<PulseConnection> connection = nullptr,
                               std::shared_ptr<InputDevice> device = nullptr);
    // Stops first when running, so the observer hears of the stop.
    ~AmbientAudioMeter() override;
    AmbientAudioMeter(const AmbientAudioMeter&) = delete;
    AmbientAudioMeter& operator=(const AmbientAudioMeter&) = delete;

    // Throws `vesk::Error`: code 2 without a usable input, the engine's error when the
    // microphone cannot be opened. Does nothing while running.
    void start() override;
    void stop() override;
    bool isRunning() const override { return isRunning_; }

    // Main thread. Takes effect from the next `start()`; a running meter keeps the observer
    // it started with.
    void setBufferObserver(std::shared_ptr<AudioBufferObserver> observer) { observer_ = std::move(observer); }

private:
    std::unique_ptr<CaptureEngine> engine_;
    std::shared_ptr<AudioBufferObserver> observer_;
    std::shared_ptr<AudioBufferObserver> activeObserver_;  // the running meter's
    bool isRunning_ = false;
};

}  // namespace vesk

#pragma once

#include <memory>

#include "audio/CaptureEngine.h"
#include "audio/PulseConnection.h"
#include "audio/VisualFrameRelay.h"
#include "visualization/AudioVisualizationPipeline.h"

namespace vesk {

// What the application needs from the idle-time level meter.
class AmbientMeter {
public:
    virtual ~AmbientMeter() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual void setOnVisualFrame(VisualFrameCallback callback) = 0;
};

// Keeps the level displays alive while no dictation runs: listens to the default
// microphone and feeds every buffer to a visualization pipeline of its own, writing and
// recognizing nothing.
class AmbientAudioMeter final : public AmbientMeter {
public:
    static constexpr int kNoInputErrorCode = 2;

    explicit AmbientAudioMeter(std::shared_ptr<PulseConnection> connection = nullptr,
                               std::shared_ptr<InputDevice> device = nullptr);
    ~AmbientAudioMeter() override;
    AmbientAudioMeter(const AmbientAudioMeter&) = delete;
    AmbientAudioMeter& operator=(const AmbientAudioMeter&) = delete;

    // Throws `vesk::Error`: code 2 without a usable input, the engine's error when the
    // microphone cannot be opened. Does nothing while running.
    void start() override;
    void stop() override;
    bool isRunning() const override { return isRunning_; }
    void setOnVisualFrame(VisualFrameCallback callback) override;

private:
    std::unique_ptr<CaptureEngine> engine_;
    std::shared_ptr<AudioVisualizationPipeline> visualization_;
    std::shared_ptr<VisualFrameRelay> relay_;
    bool isRunning_ = false;
};

}  // namespace vesk

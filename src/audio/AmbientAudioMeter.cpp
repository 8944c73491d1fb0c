#include "audio/AmbientAudioMeter.h"

#include <cstdio>

#include "core/Error.h"
#include "core/Log.h"

namespace vesk {

AmbientAudioMeter::AmbientAudioMeter(std::shared_ptr<PulseConnection> connection, std::shared_ptr<InputDevice> device)
    : relay_(std::make_shared<VisualFrameRelay>()) {
    if (!connection) connection = PulseConnection::create();
    if (!device) device = std::make_shared<DefaultInputDevice>(connection);
    engine_ = std::make_unique<CaptureEngine>(connection, device);
    visualization_ = std::make_shared<AudioVisualizationPipeline>();
    visualization_->setOnFrame(VisualFrameRelay::forwarder(relay_));
}

AmbientAudioMeter::~AmbientAudioMeter() {
    engine_->removeTap();
    engine_->stop();
}

void AmbientAudioMeter::start() {
    if (isRunning_) return;
    const InputFormat format = engine_->inputFormat();
    if (!format.usable()) throw Error(kErrorDomain, kNoInputErrorCode, "No microphone input available");

    // The pipeline lives as long as the engine that calls this tap.
    engine_->installTap(CaptureEngine::kTapBufferFrames, format,
                        [pipeline = visualization_.get()](const AudioBuffer& buffer) { pipeline->consume(buffer); });
    visualization_->reset();
    try {
        engine_->start();
    } catch (...) {
        engine_->removeTap();
        engine_->stop();
        throw;
    }
    isRunning_ = true;
    char line[160];
    std::snprintf(line, sizeof line, "Project Vesk ambient microphone engine started (sampleRate=%.0f, channels=%d)",
                  format.sampleRate, static_cast<int>(format.channelCount));
    logInfo(line);
}

void AmbientAudioMeter::stop() {
    if (!isRunning_) return;
    engine_->removeTap();
    engine_->stop();
    visualization_->reset();
    isRunning_ = false;
    relay_->deliver(0.0f, WaveformFrame::zero());
}

void AmbientAudioMeter::setOnVisualFrame(VisualFrameCallback callback) { relay_->setCallback(std::move(callback)); }

}  // namespace vesk

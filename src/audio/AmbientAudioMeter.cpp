#include "audio/AmbientAudioMeter.h"

#include <cstdio>
#include <utility>

#include "core/Error.h"
#include "core/Log.h"

namespace vesk {

AmbientAudioMeter::AmbientAudioMeter(std::shared_ptr<PulseConnection> connection, std::shared_ptr<InputDevice> device) {
    if (!connection) connection = PulseConnection::create();
    if (!device) device = std::make_shared<DefaultInputDevice>(connection);
    engine_ = std::make_unique<CaptureEngine>(connection, device);
}

AmbientAudioMeter::~AmbientAudioMeter() {
    stop();
    engine_->removeTap();
    engine_->stop();
}

void AmbientAudioMeter::start() {
    if (isRunning_) return;
    const InputFormat format = engine_->inputFormat();
    if (!format.usable()) throw Error(kErrorDomain, kNoInputErrorCode, "No microphone input available");

    activeObserver_ = observer_;
    CaptureEngine::Tap tap;
    if (activeObserver_) tap = [observer = activeObserver_](const AudioBuffer& buffer) { observer->consume(buffer); };
    engine_->installTap(CaptureEngine::kTapBufferFrames, format, std::move(tap));
    if (activeObserver_) activeObserver_->sourceStarted();
    try {
        engine_->start();
    } catch (...) {
        engine_->removeTap();
        engine_->stop();
        activeObserver_.reset();
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
    isRunning_ = false;
    if (const auto observer = std::exchange(activeObserver_, nullptr)) observer->sourceStopped();
}

}  // namespace vesk

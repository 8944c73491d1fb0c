#pragma once

#include "app/ControllerPorts.h"
#include "visualization/AudioVisualizationPipeline.h"

#include <functional>
#include <memory>

// The real host services of the running application, gathered for the controller.
namespace vesk {

class AppDelegate;
struct ShellLink;

// What the composition root keeps beside the controller: the two visualization pipelines
// (the recorder's and the ambient meter's), whose frames go to the controller once it
// exists (`connectFrames`).
struct DesktopAudio {
    std::shared_ptr<AudioVisualizationPipeline> recording = std::make_shared<AudioVisualizationPipeline>();
    std::shared_ptr<AudioVisualizationPipeline> ambient = std::make_shared<AudioVisualizationPipeline>();
};

// Fills every port with the real service: the recorder and ambient meter on one sound
// server connection, the recognizer of the settings' engine, the on-device rewrite
// engine, history.json written off the main thread, the desktop clipboard, the paste
// keys and the dictation key through whatever keyboard access the session offers
// (looked for again when access is granted later), the selection transforms, and the
// windows through `shell`. `quit` ends the application.
ControllerServices makeDesktopServices(const std::shared_ptr<ShellLink>& shell, const DesktopAudio& audio,
                                       std::function<void()> quit);

// Sends both pipelines' frames to `app`'s `updateAudioVisualFrame` on the main thread,
// dropped once the controller is gone.
void connectFrames(AppDelegate& app, const DesktopAudio& audio);

}  // namespace vesk

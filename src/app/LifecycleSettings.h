#pragma once

#include "core/Hotkey.h"
#include "core/OutputMode.h"
#include "visualization/WaveformFrame.h"

#include <QCoro/QCoroTask>

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

class AppDelegate;

// The application's life around the dictations: the launch sequence, the tray icon and
// its throttle, the policy that runs the ambient level meter only while a window shows
// it, permissions, the voice profile refresh and the settings setters.
//
// Main thread only. Owned by the controller, which it must not outlive.
class LifecycleSettings {
public:
    static constexpr double kIconInterval = 1.0 / 15.0;
    static constexpr long kVoiceProfileMinimumWords = 80;
    static constexpr long kVoiceProfileNewWords = 250;

    explicit LifecycleSettings(AppDelegate& app);

    void launch();
    void terminate();
    void mainWindowWillClose();
    void popoverDidShow();
    void popoverDidClose();
    void showMainWindow();

    void updateIcon(bool force);
    void updateAudioVisualFrame(float level, const WaveformFrame& frame, std::string_view source);
    void refreshPermissions();
    void startAmbientMeterIfPossible();
    void refreshVoiceProfileIfDue(bool force);

    void setHotkey(Hotkey key);
    void setSaveHistory(bool on);
    void setOutputMode(OutputMode mode);
    void setLocale(const std::string& locale);
    void setAutoPaste(bool on);
    void setAutoCopy(bool on);

    const std::vector<float>& menuBarWaveform() const { return menuBarWaveform_; }

private:
    QCoro::Task<> requestMicrophone();
    QCoro::Task<> generateVoiceProfile(long totalWords);
    void ensureModelInstalled();

    AppDelegate& app_;
    std::vector<float> menuBarWaveform_ = std::vector<float>(WaveformFrame::waveformCount, 0.0f);
    double lastMenuBarIconUpdate_ = 0;
    bool hasLoggedAudioBuffer_ = false;
    bool hasLoggedAudibleInput_ = false;
};

}  // namespace vesk

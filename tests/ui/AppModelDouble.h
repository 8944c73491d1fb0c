#pragma once

#include "ui/AppModel.h"

#include <string>
#include <vector>

namespace vesk::test {

// A stand-in for the dictation controller: published values a test sets (each setter emits
// the change signal as the controller would), and the operations the views call, recorded in
// order as short strings ("setOutputMode:clean", "showMainWindow", "quit").
class AppModelDouble : public AppModel {
public:
    std::vector<std::string> calls;

    void publishUiState(UIState state) {
        uiState_ = state;
        emit uiStateChanged();
    }
    void publishHotkey(Hotkey key) {
        hotkey_ = key;
        emit hotkeyChanged();
    }
    void publishOutputMode(OutputMode mode) {
        outputMode_ = mode;
        emit outputModeChanged();
    }
    void publishOutputModeSelectionEnabled(bool on) {
        selectionEnabled_ = on;
        emit outputModeSelectionEnabledChanged();
    }
    // Whether `setOutputMode` changes the published mode, as the controller does.
    bool acceptsModeChanges = true;

    UIState uiState() const override { return uiState_; }
    bool isHandsFree() const override { return false; }
    std::optional<std::string> lastError() const override { return std::nullopt; }
    std::optional<std::string> transformStatus() const override { return std::nullopt; }
    std::optional<PromptAssessment> currentAssessment() const override { return std::nullopt; }
    std::string promptDraft() const override { return {}; }
    std::vector<ConfidenceIssue> confidenceIssues() const override { return {}; }
    std::vector<HistoryEntry> recentEntries() const override { return {}; }
    std::vector<HistoryEntry> entries() const override { return {}; }
    std::vector<HistoryEntry> speechTimeline() const override { return {}; }
    std::optional<std::string> historyTransformingID() const override { return std::nullopt; }
    bool outputModeSelectionEnabled() const override { return selectionEnabled_; }
    bool micAuthorized() const override { return true; }
    bool axTrusted() const override { return true; }
    Hotkey hotkey() const override { return hotkey_; }
    std::string localeID() const override { return "en-US"; }
    bool saveHistory() const override { return true; }
    OutputMode outputMode() const override { return outputMode_; }
    bool autoPaste() const override { return true; }
    bool autoCopy() const override { return false; }
    std::optional<VoiceProfile> voiceProfile() const override { return std::nullopt; }
    AudioVisualModel& audioVisual() override { return audio_; }
    LiveTranscriptModel& transcriptModel() override { return transcript_; }

    void setHotkey(Hotkey key) override { calls.push_back("setHotkey:" + std::string(storedValue(key))); }
    void setSaveHistory(bool) override { calls.push_back("setSaveHistory"); }
    void setOutputMode(OutputMode mode) override {
        calls.push_back("setOutputMode:" + std::string(displayName(mode)));
        if (acceptsModeChanges && mode != outputMode_) publishOutputMode(mode);
    }
    void setLocale(const std::string&) override { calls.push_back("setLocale"); }
    void setAutoPaste(bool) override { calls.push_back("setAutoPaste"); }
    void setAutoCopy(bool) override { calls.push_back("setAutoCopy"); }
    void transformSpeechEntry(const std::string&, OutputMode) override { calls.push_back("transformSpeechEntry"); }
    void updateSpeechEntry(const std::string&, const std::string&, std::optional<OutputMode>) override {
        calls.push_back("updateSpeechEntry");
    }
    void stageCurrentPromptEdit(const std::string&) override { calls.push_back("stageCurrentPromptEdit"); }
    void replaceConfidenceIssue(const ConfidenceIssue&, const std::string&) override {
        calls.push_back("replaceConfidenceIssue");
    }
    void copyTranscriptSurface() override { calls.push_back("copyTranscriptSurface"); }
    void copyText(const std::string&) override { calls.push_back("copyText"); }
    void clearReadyPrompt() override { calls.push_back("clearReadyPrompt"); }
    void refreshPermissions() override { calls.push_back("refreshPermissions"); }
    void showMainWindow() override { calls.push_back("showMainWindow"); }
    void quit() override { calls.push_back("quit"); }

private:
    UIState uiState_ = UIState::idle;
    Hotkey hotkey_ = Hotkey::rightControl;
    OutputMode outputMode_ = OutputMode::prompt;
    bool selectionEnabled_ = true;
    AudioVisualModel audio_;
    LiveTranscriptModel transcript_;
};

}  // namespace vesk::test

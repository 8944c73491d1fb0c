#pragma once

#include "ui/AppModel.h"

#include <optional>
#include <string>
#include <vector>

namespace vesk::test {

// A stand-in for the controller at the windows' boundary (console, tray, quick panel): published values the test sets
// (each setter emits the change signal the way the controller does, only on a real
// change) and a record of every operation the windows ask for. Operations change
// nothing by themselves, except the settings setters, which store the value and emit,
// as the controller's setters do.
class ConsoleModelDouble : public AppModel {
public:
    struct Replacement {
        ConfidenceIssue issue;
        std::string text;
        bool operator==(const Replacement&) const = default;
    };
    struct Update {
        std::string id;
        std::string renderedText;
        std::optional<OutputMode> mode;
        bool operator==(const Update&) const = default;
    };
    struct Transform {
        std::string id;
        OutputMode mode;
        bool operator==(const Transform&) const = default;
    };

    // --- Published state ---
    UIState uiState() const override { return state_; }
    bool isHandsFree() const override { return handsFree_; }
    std::optional<std::string> lastError() const override { return lastError_; }
    std::optional<std::string> transformStatus() const override { return transformStatus_; }
    std::optional<PromptAssessment> currentAssessment() const override { return std::nullopt; }
    std::string promptDraft() const override { return draft_; }
    std::vector<ConfidenceIssue> confidenceIssues() const override { return issues_; }
    std::vector<HistoryEntry> recentEntries() const override { return {}; }
    std::vector<HistoryEntry> entries() const override { return entries_; }
    // Nothing recent beside the stored entries: the timeline is the stored list.
    std::vector<HistoryEntry> speechTimeline() const override { return entries_; }
    std::optional<std::string> historyTransformingID() const override { return transformingID_; }
    bool outputModeSelectionEnabled() const override { return modeSelection_; }
    bool micAuthorized() const override { return mic_; }
    bool axTrusted() const override { return keyboard_; }
    Hotkey hotkey() const override { return hotkey_; }
    std::string localeID() const override { return locale_; }
    bool saveHistory() const override { return saveHistory_; }
    OutputMode outputMode() const override { return mode_; }
    bool autoPaste() const override { return autoPaste_; }
    bool autoCopy() const override { return autoCopy_; }
    std::optional<VoiceProfile> voiceProfile() const override { return std::nullopt; }
    std::optional<SpeechModelState> speechModelState() const override { return speech_; }
    std::optional<RewritingState> rewritingState() const override { return rewriting_; }
    std::optional<bool> startAtLogin() const override { return startAtLogin_; }
    AudioVisualModel& audioVisual() override { return audio_; }
    LiveTranscriptModel& transcriptModel() override { return transcript_; }

    // --- Operations, recorded ---
    void setHotkey(Hotkey key) override { set(hotkey_, key, &AppModel::hotkeyChanged); }
    void setSaveHistory(bool on) override { set(saveHistory_, on, &AppModel::saveHistoryChanged); }
    void setOutputMode(OutputMode mode) override {
        modeRequests.push_back(mode);
        if (acceptsModeChanges) set(mode_, mode, &AppModel::outputModeChanged);
    }
    void setLocale(const std::string& id) override { set(locale_, id, &AppModel::localeIDChanged); }
    void setAutoPaste(bool on) override { set(autoPaste_, on, &AppModel::autoPasteChanged); }
    void setAutoCopy(bool on) override { set(autoCopy_, on, &AppModel::autoCopyChanged); }
    void setSpeechEngine(const std::string& engine) override { calls.push_back("setSpeechEngine " + engine); }
    void setSpeechModel(const std::string& model) override { calls.push_back("setSpeechModel " + model); }
    void downloadSpeechModel() override { calls.push_back("downloadSpeechModel"); }
    void cancelSpeechModelDownload() override { calls.push_back("cancelSpeechModelDownload"); }
    void setRewriteEndpoint(const std::string& endpoint) override { calls.push_back("setRewriteEndpoint " + endpoint); }
    void setRewriteModel(const std::string& model) override { calls.push_back("setRewriteModel " + model); }
    void setAllowRemoteRewriting(bool on) override {
        calls.push_back(on ? "setAllowRemoteRewriting on" : "setAllowRemoteRewriting off");
    }
    void refreshRewritingModels() override { calls.push_back("refreshRewritingModels"); }
    void setStartAtLogin(bool on) override {
        set(startAtLogin_, std::optional<bool>(on), &AppModel::startAtLoginChanged);
    }
    void transformSpeechEntry(const std::string& id, OutputMode mode) override {
        calls.push_back("transformSpeechEntry");
        transforms.push_back({id, mode});
    }
    void updateSpeechEntry(const std::string& id, const std::string& text, std::optional<OutputMode> mode) override {
        calls.push_back("updateSpeechEntry");
        updates.push_back({id, text, mode});
    }
    void stageCurrentPromptEdit(const std::string& text) override { stagedEdits.push_back(text); }
    void replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& text) override {
        replacements.push_back({issue, text});
    }
    void copyTranscriptSurface() override { calls.push_back("copyTranscriptSurface"); }
    void copyText(const std::string& text) override { copiedTexts.push_back(text); }
    void clearReadyPrompt() override { calls.push_back("clearReadyPrompt"); }
    void refreshPermissions() override { ++permissionRefreshes; }
    void showMainWindow() override { calls.push_back("showMainWindow"); }
    void quit() override { calls.push_back("quit"); }

    // --- What the test publishes ---
    void publishState(UIState value) { set(state_, value, &AppModel::uiStateChanged); }
    void publishHandsFree(bool value) { set(handsFree_, value, &AppModel::isHandsFreeChanged); }
    void publishError(std::optional<std::string> value) {
        set(lastError_, std::move(value), &AppModel::lastErrorChanged);
    }
    void publishTransformStatus(std::optional<std::string> value) {
        set(transformStatus_, std::move(value), &AppModel::transformStatusChanged);
    }
    void publishDraft(std::string value) { set(draft_, std::move(value), &AppModel::promptDraftChanged); }
    void publishIssues(std::vector<ConfidenceIssue> value) {
        set(issues_, std::move(value), &AppModel::confidenceIssuesChanged);
    }
    void publishEntries(std::vector<HistoryEntry> value) { set(entries_, std::move(value), &AppModel::entriesChanged); }
    void publishTransformingID(std::optional<std::string> value) {
        set(transformingID_, std::move(value), &AppModel::historyTransformingIDChanged);
    }
    void publishModeSelection(bool value) { set(modeSelection_, value, &AppModel::outputModeSelectionEnabledChanged); }
    void publishMic(bool value) { set(mic_, value, &AppModel::micAuthorizedChanged); }
    void publishKeyboardAccess(bool value) { set(keyboard_, value, &AppModel::axTrustedChanged); }
    void publishMode(OutputMode value) { set(mode_, value, &AppModel::outputModeChanged); }
    void publishSpeech(std::optional<SpeechModelState> value) {
        set(speech_, std::move(value), &AppModel::speechModelStateChanged);
    }
    void publishStartAtLogin(std::optional<bool> value) { set(startAtLogin_, value, &AppModel::startAtLoginChanged); }
    void publishRewriting(std::optional<RewritingState> value) {
        set(rewriting_, std::move(value), &AppModel::rewritingStateChanged);
    }

    std::vector<std::string> calls;
    std::vector<OutputMode> modeRequests;
    // Whether `setOutputMode` changes the published mode, as the controller does.
    bool acceptsModeChanges = true;
    std::vector<Transform> transforms;
    std::vector<Update> updates;
    std::vector<std::string> stagedEdits;
    std::vector<Replacement> replacements;
    std::vector<std::string> copiedTexts;
    int permissionRefreshes = 0;

private:
    template <typename T>
    void set(T& member, T value, void (AppModel::*signal)()) {
        if (member == value) return;
        member = std::move(value);
        emit(this->*signal)();
    }

    UIState state_ = UIState::idle;
    bool handsFree_ = false;
    std::optional<std::string> lastError_;
    std::optional<std::string> transformStatus_;
    std::string draft_;
    std::vector<ConfidenceIssue> issues_;
    std::vector<HistoryEntry> entries_;
    std::optional<std::string> transformingID_;
    bool modeSelection_ = true;
    bool mic_ = true;
    bool keyboard_ = true;
    Hotkey hotkey_ = Hotkey::rightControl;
    std::string locale_ = "en-US";
    bool saveHistory_ = false;
    OutputMode mode_ = OutputMode::prompt;
    bool autoPaste_ = false;
    bool autoCopy_ = false;
    std::optional<SpeechModelState> speech_;
    std::optional<RewritingState> rewriting_;
    std::optional<bool> startAtLogin_;
    AudioVisualModel audio_;
    LiveTranscriptModel transcript_;
};

}  // namespace vesk::test

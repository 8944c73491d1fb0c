#pragma once

#include "app/ControllerPorts.h"
#include "ui/AppModel.h"
#include "visualization/RealtimeModels.h"
#include "visualization/WaveformFrame.h"

#include <QThreadPool>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

class DictationSession;
class ResultDelivery;
class EntryEditor;
class LifecycleSettings;
class SpeechModelSettings;
class RewritingSettings;

// Queues work on the main thread from any thread, holding the receiver weakly: work
// queued after `detach` is dropped, and so is queued work that finds the receiver gone.
class MainThreadHop {
public:
    explicit MainThreadHop(QObject* receiver) : receiver_(receiver) {}
    void post(std::function<void()> work) const;
    void detach();

private:
    mutable std::mutex mutex_;
    QObject* receiver_;
};

// The result on screen that is not published itself but ties the published values to
// the history: the texts it was rendered from, its history entry and its paste target.
struct CurrentResult {
    std::string exactTranscript;
    std::string cleanTranscript;
    std::optional<std::string> historyEntryID;
    std::optional<FocusTarget> pendingTarget;
};

// The dictation controller: the one object the windows see. It owns the published state
// and every service (through `ControllerServices`) and hands the work to collaborators:
// the dictation session (key to recognized text), result delivery (rendering, history,
// clipboard, paste), entry editing (re-renders, corrections, copies) and the lifecycle and
// settings rules (launch, icon, meters, permissions, setters).
//
// Lives on the main thread; every method is called there. Background work (recognition,
// file writes) runs on the controller's own worker threads and reports back through
// queued calls that are dropped once the controller is gone. Destroying the controller
// waits for running background work to end.
class AppDelegate final : public AppModel {
    Q_OBJECT
public:
    // Reads the settings and the stored history and makes the recognizer for the locale.
    explicit AppDelegate(ControllerServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // --- AppModel ---
    UIState uiState() const override { return uiState_; }
    bool isHandsFree() const override { return isHandsFree_; }
    std::optional<std::string> lastError() const override { return lastError_; }
    std::optional<std::string> transformStatus() const override { return transformStatus_; }
    std::optional<PromptAssessment> currentAssessment() const override { return currentAssessment_; }
    std::string promptDraft() const override { return promptDraft_; }
    std::vector<ConfidenceIssue> confidenceIssues() const override { return confidenceIssues_; }
    std::vector<HistoryEntry> recentEntries() const override { return recentEntries_; }
    std::vector<HistoryEntry> entries() const override { return entries_; }
    std::vector<HistoryEntry> speechTimeline() const override;
    std::optional<std::string> historyTransformingID() const override { return historyTransformingID_; }
    bool outputModeSelectionEnabled() const override;
    bool micAuthorized() const override { return micAuthorized_; }
    bool axTrusted() const override { return axTrusted_; }
    Hotkey hotkey() const override { return settings_.hotkey; }
    std::string localeID() const override { return settings_.locale; }
    bool saveHistory() const override { return settings_.saveHistory; }
    OutputMode outputMode() const override { return settings_.outputMode; }
    bool autoPaste() const override { return settings_.autoPaste; }
    bool autoCopy() const override { return settings_.autoCopy; }
    std::optional<VoiceProfile> voiceProfile() const override { return voiceProfile_; }
    std::optional<SpeechModelState> speechModelState() const override;
    std::optional<RewritingState> rewritingState() const override;
    std::optional<bool> startAtLogin() const override;
    AudioVisualModel& audioVisual() override { return audioVisual_; }
    LiveTranscriptModel& transcriptModel() override { return transcriptModel_; }

    void setHotkey(Hotkey key) override;
    void setSaveHistory(bool on) override;
    void setOutputMode(OutputMode mode) override;
    void setLocale(const std::string& localeID) override;
    void setAutoPaste(bool on) override;
    void setAutoCopy(bool on) override;
    void setSpeechEngine(const std::string& engine) override;
    void setSpeechModel(const std::string& model) override;
    void downloadSpeechModel() override;
    void cancelSpeechModelDownload() override;
    void setRewriteEndpoint(const std::string& endpoint) override;
    void setRewriteModel(const std::string& model) override;
    void setAllowRemoteRewriting(bool on) override;
    void refreshRewritingModels() override;
    // Writes or removes the autostart entry that starts this executable.
    void setStartAtLogin(bool on) override;
    void transformSpeechEntry(const std::string& id, OutputMode mode) override;
    void updateSpeechEntry(const std::string& id, const std::string& renderedText,
                           std::optional<OutputMode> mode) override;
    void stageCurrentPromptEdit(const std::string& text) override;
    void replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& replacement) override;
    void copyTranscriptSurface() override;
    void copyText(const std::string& text) override;
    void clearReadyPrompt() override;
    void refreshPermissions() override;
    void showMainWindow() override;
    void quit() override;

    // --- Application events, from the composition root and the windows ---
    // Launch: stale recordings are the composition root's to remove before this.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void mainWindowWillClose();
    void popoverDidShow();
    void popoverDidClose();
    // A visual frame from the recorder (source "recording") or the ambient meter
    // ("ambient"), already on the main thread.
    void updateAudioVisualFrame(float level, const WaveformFrame& frame, std::string_view source);
    void transformCurrentSpeech(OutputMode mode);

    // --- For the collaborators: state changes, each signalled when it is a change ---
    ControllerServices& services() { return services_; }
    std::shared_ptr<SpeechRecognizer> recognizer() const { return recognizer_; }
    // Recognition calls run here, one at a time, in the order they were queued.
    QThreadPool& recognitionWorker() { return recognitionWorker_; }
    // Saves of learned corrections run here, in order.
    QThreadPool& fileWorker() { return fileWorker_; }
    const std::shared_ptr<MainThreadHop>& hop() const { return hop_; }
    CurrentResult& current() { return current_; }
    DictationSession& session() { return *session_; }
    ResultDelivery& delivery() { return *delivery_; }
    EntryEditor& editor() { return *editor_; }
    LifecycleSettings& lifecycle() { return *lifecycle_; }
    SpeechModelSettings& speechModels() { return *speechModels_; }
    // A recognizer for `locale` whose downloads the settings page follows.
    std::shared_ptr<SpeechRecognizer> makeRecognizer(const std::string& locale);

    void setUIState(UIState state);
    void setHandsFree(bool on);
    void setLastError(std::optional<std::string> text);
    void setTransformStatus(std::optional<std::string> text);
    void setCurrentAssessment(std::optional<PromptAssessment> assessment);
    void setPromptDraft(std::string text);
    void setConfidenceIssues(std::vector<ConfidenceIssue> issues);
    void setRecentEntries(std::vector<HistoryEntry> entries);
    void setEntries(std::vector<HistoryEntry> entries);
    void setHistoryTransformingID(std::optional<std::string> id);
    void setMicAuthorized(bool on);
    void setAxTrusted(bool on);
    void setVoiceProfile(std::optional<VoiceProfile> profile);
    // The settings value as published; the setters above write the store first.
    ControllerSettings& settingsValue() { return settings_; }
    void publishSetting(void (AppModel::*changed)()) { emit(this->*changed)(); }
    void setLiveCaption(const std::string& finalized, const std::string& provisional);
    // Replaces the recognizer (a new locale); work already queued keeps the old one.
    void replaceRecognizer(std::shared_ptr<SpeechRecognizer> recognizer) { recognizer_ = std::move(recognizer); }
    // Re-evaluates the mode picker after a re-render started or ended.
    void notifyOutputModeSelection();

    // Shorthands used by every collaborator.
    void updateIcon(bool force);
    void startAmbientMeterIfPossible();
    void refreshVoiceProfileIfDue(bool force);
    void cancelPostRecordingTransform();

private:
    ControllerServices services_;
    ControllerSettings settings_;
    std::shared_ptr<SpeechRecognizer> recognizer_;
    QThreadPool recognitionWorker_;
    QThreadPool fileWorker_;
    std::shared_ptr<MainThreadHop> hop_;
    AudioVisualModel audioVisual_;
    LiveTranscriptModel transcriptModel_;

    UIState uiState_ = UIState::idle;
    bool isHandsFree_ = false;
    std::optional<std::string> lastError_;
    std::optional<std::string> transformStatus_;
    std::optional<PromptAssessment> currentAssessment_;
    std::string promptDraft_;
    std::vector<ConfidenceIssue> confidenceIssues_;
    std::vector<HistoryEntry> recentEntries_;
    std::vector<HistoryEntry> entries_;
    std::optional<std::string> historyTransformingID_;
    bool micAuthorized_ = false;
    bool axTrusted_ = false;
    std::optional<VoiceProfile> voiceProfile_;
    bool lastModeSelection_ = true;
    CurrentResult current_;

    std::unique_ptr<DictationSession> session_;
    std::unique_ptr<ResultDelivery> delivery_;
    std::unique_ptr<EntryEditor> editor_;
    std::unique_ptr<LifecycleSettings> lifecycle_;
    std::unique_ptr<RewritingSettings> rewriting_;
    // Last: its destructor stops a download that still runs before the rest goes.
    std::unique_ptr<SpeechModelSettings> speechModels_;
};

}  // namespace vesk

#pragma once

#include "core/Hotkey.h"
#include "core/OutputMode.h"
#include "history/HistoryStore.h"
#include "rewriting/PromptCoach.h"
#include "rewriting/VoiceProfile.h"
#include "text/ConfidenceLens.h"
#include "visualization/RealtimeModels.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

// The phase of the dictation the windows and the tray show.
enum class UIState { idle, recording, processing, ready };

// The speech engine and its model, as the settings page shows them.
struct SpeechModelState {
    std::string engine;                        // the "speechEngine" setting: "auto", "whisper", "pocketsphinx"
    std::string model;                         // the whisper model in use, e.g. "base.en"
    std::vector<std::string> models;           // the models that can be chosen
    bool installed = false;                    // the model is on disk and checked
    std::optional<int64_t> sizeBytes;          // its size on disk, or to download
    std::optional<double> downloadProgress;    // 0...1 while a download runs
    std::optional<std::string> downloadError;  // a sentence, after a failed download
    std::string note;                          // what dictation does without the model; empty once installed

    bool operator==(const SpeechModelState&) const = default;
};

// The local language-model server used for rewriting, as the settings page shows it.
struct RewritingState {
    std::string endpoint;                   // the "rewriteEndpoint" setting
    std::string model;                      // the "rewriteModel" setting; empty when none is chosen
    std::vector<std::string> serverModels;  // the server's own model list; empty when unknown
    bool allowRemote = false;               // the "allowRemoteRewriting" setting
    std::string availabilityNote;           // a sentence; empty when rewriting can be tried

    bool operator==(const RewritingState&) const = default;
};

// What every window sees of the dictation controller: its published state, each value
// with a change signal, and the operations a person can ask for. The controller
// implements it; views hold a reference, connect in their constructor and only render.
// Everything here lives on the main thread, and every signal is emitted there after the
// value changed (never for a value set to what it already was).
class AppModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~AppModel() override = default;

    // --- Published state ---
    virtual UIState uiState() const = 0;
    virtual bool isHandsFree() const = 0;
    // The last user-facing error or notice, a sentence; nothing when none.
    virtual std::optional<std::string> lastError() const = 0;
    // The progress line while a result is being prepared; nothing otherwise.
    virtual std::optional<std::string> transformStatus() const = 0;
    virtual std::optional<PromptAssessment> currentAssessment() const = 0;
    // The rendered text of the result on screen, as the person may have edited it.
    virtual std::string promptDraft() const = 0;
    // Uncertain words still visible in the rendered text, most important first.
    virtual std::vector<ConfidenceIssue> confidenceIssues() const = 0;
    // This session's results, newest first, at most 20.
    virtual std::vector<HistoryEntry> recentEntries() const = 0;
    // The stored history, newest first.
    virtual std::vector<HistoryEntry> entries() const = 0;
    // `recentEntries` followed by `entries`, each id once (its recent form wins).
    virtual std::vector<HistoryEntry> speechTimeline() const = 0;
    // The history entry being re-rendered; nothing when none.
    virtual std::optional<std::string> historyTransformingID() const = 0;
    virtual bool outputModeSelectionEnabled() const = 0;
    virtual bool micAuthorized() const = 0;
    // Keyboard access: the dictation key is observed system-wide and keys can be sent.
    virtual bool axTrusted() const = 0;
    virtual Hotkey hotkey() const = 0;
    virtual std::string localeID() const = 0;
    virtual bool saveHistory() const = 0;
    virtual OutputMode outputMode() const = 0;
    virtual bool autoPaste() const = 0;
    virtual bool autoCopy() const = 0;
    virtual std::optional<VoiceProfile> voiceProfile() const = 0;
    // The speech engine and the rewriting server; nothing where the controller does not
    // offer them (the settings page then leaves their sections out).
    virtual std::optional<SpeechModelState> speechModelState() const { return std::nullopt; }
    virtual std::optional<RewritingState> rewritingState() const { return std::nullopt; }
    // "Start at login"; nothing where the model does not offer it.
    virtual std::optional<bool> startAtLogin() const { return std::nullopt; }
    // The live sound and caption; owned by the controller, alive as long as it is.
    virtual AudioVisualModel& audioVisual() = 0;
    virtual LiveTranscriptModel& transcriptModel() = 0;

    // --- Operations a person asks for ---
    virtual void setHotkey(Hotkey key) = 0;
    virtual void setSaveHistory(bool on) = 0;
    virtual void setOutputMode(OutputMode mode) = 0;
    virtual void setLocale(const std::string& localeID) = 0;
    virtual void setAutoPaste(bool on) = 0;
    virtual void setAutoCopy(bool on) = 0;
    // The speech engine and model: each setter stores its setting; a download reports its
    // progress through speechModelState and can be cancelled.
    virtual void setSpeechEngine(const std::string& /*engine*/) {}
    virtual void setSpeechModel(const std::string& /*model*/) {}
    virtual void downloadSpeechModel() {}
    virtual void cancelSpeechModelDownload() {}
    // The rewriting server: each setter stores its setting; refreshing asks the server for
    // its model list again.
    virtual void setRewriteEndpoint(const std::string& /*endpoint*/) {}
    virtual void setRewriteModel(const std::string& /*model*/) {}
    virtual void setAllowRemoteRewriting(bool /*on*/) {}
    virtual void refreshRewritingModels() {}
    virtual void setStartAtLogin(bool /*on*/) {}
    virtual void transformSpeechEntry(const std::string& id, OutputMode mode) = 0;
    virtual void updateSpeechEntry(const std::string& id, const std::string& renderedText,
                                   std::optional<OutputMode> mode) = 0;
    virtual void stageCurrentPromptEdit(const std::string& text) = 0;
    virtual void replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& replacement) = 0;
    virtual void copyTranscriptSurface() = 0;
    // Puts `text` on the clipboard and plays "Tink" (the history page's Copy).
    virtual void copyText(const std::string& text) = 0;
    virtual void clearReadyPrompt() = 0;
    virtual void refreshPermissions() = 0;
    virtual void showMainWindow() = 0;
    virtual void quit() = 0;

signals:
    void uiStateChanged();
    void isHandsFreeChanged();
    void lastErrorChanged();
    void transformStatusChanged();
    void currentAssessmentChanged();
    void promptDraftChanged();
    void confidenceIssuesChanged();
    void recentEntriesChanged();
    void entriesChanged();  // also means speechTimeline changed
    void historyTransformingIDChanged();
    void outputModeSelectionEnabledChanged();
    void micAuthorizedChanged();
    void axTrustedChanged();
    void hotkeyChanged();
    void localeIDChanged();
    void saveHistoryChanged();
    void outputModeChanged();
    void autoPasteChanged();
    void autoCopyChanged();
    void voiceProfileChanged();
    void speechModelStateChanged();
    void rewritingStateChanged();
    void startAtLoginChanged();
};

}  // namespace vesk

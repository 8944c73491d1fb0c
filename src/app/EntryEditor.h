#pragma once

#include "core/OutputMode.h"
#include "text/ConfidenceLens.h"

#include <QCoro/QCoroTask>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace vesk {

class AppDelegate;
struct HistoryEntry;

// Edits of the ready result and of history entries: re-rendering in another mode,
// replacing a rendered text, accepting a correction for an uncertain word (which teaches
// the learned store), copying what the transcript area shows and dismissing the result.
// Keeps the screen state, the recent list, the stored history and the published entries
// in step. Each kind of re-render has one identity; a newer request supersedes the older,
// whose late result is dropped.
//
// Main thread only. Owned by the controller, which it must not outlive.
class EntryEditor {
public:
    explicit EntryEditor(AppDelegate& app);

    void transformCurrentSpeech(OutputMode mode);
    void transformSpeechEntry(const std::string& id, OutputMode mode);
    void updateSpeechEntry(const std::string& id, const std::string& renderedText, std::optional<OutputMode> mode);
    void stageCurrentPromptEdit(const std::string& text);
    void replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& replacement);
    void copyTranscriptSurface();
    void clearReadyPrompt();
    void cancelPostRecordingTransform();

    bool isRerendering() const { return postRecordingTransformToken_.has_value(); }

private:
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    QCoro::Task<> rerenderCurrent(OutputMode mode, std::string token, CancelFlag cancelled);
    QCoro::Task<> rerenderEntry(std::string id, OutputMode mode, std::string exact, std::string clean,
                                CancelFlag cancelled);

    AppDelegate& app_;
    std::optional<std::string> postRecordingTransformToken_;
    CancelFlag postRecordingTransformTask_;
    CancelFlag historyTransformTask_;
};

}  // namespace vesk

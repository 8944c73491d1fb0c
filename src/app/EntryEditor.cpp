#include "app/EntryEditor.h"

#include "app/AppDelegate.h"
#include "app/FoldedText.h"
#include "app/ResultDelivery.h"
#include "app/WorkerTask.h"
#include "core/Uuid.h"
#include "text/LearnedStore.h"
#include "text/TextFormatter.h"
#include "text/Unicode.h"

#include <QPointer>

#include <algorithm>

namespace vesk {
namespace {

void removeIssue(std::vector<ConfidenceIssue>& issues, const std::string& id) {
    std::erase_if(issues, [&](const ConfidenceIssue& issue) { return issue.id == id; });
}

}  // namespace

EntryEditor::EntryEditor(AppDelegate& app) : app_(app) {}

void EntryEditor::cancelPostRecordingTransform() {
    postRecordingTransformToken_.reset();
    if (postRecordingTransformTask_) postRecordingTransformTask_->store(true);
    postRecordingTransformTask_.reset();
    app_.setTransformStatus(std::nullopt);
    app_.notifyOutputModeSelection();
}

void EntryEditor::transformCurrentSpeech(OutputMode mode) {
    if (app_.uiState() != UIState::ready && !postRecordingTransformToken_) return;
    if (unicode::trimWhitespaceAndNewlines(app_.current().exactTranscript).empty()) return;

    if (postRecordingTransformTask_) postRecordingTransformTask_->store(true);
    const std::string token = makeUuid();
    postRecordingTransformToken_ = token;
    postRecordingTransformTask_ = std::make_shared<std::atomic<bool>>(false);

    app_.setUIState(UIState::processing);
    app_.updateIcon(true);
    app_.setLastError(std::nullopt);
    app_.setTransformStatus(app_.delivery().statusForRendering(mode));
    rerenderCurrent(mode, token, postRecordingTransformTask_);
}

QCoro::Task<> EntryEditor::rerenderCurrent(OutputMode mode, std::string token, CancelFlag cancelled) {
    QPointer<AppDelegate> self(&app_);
    QCoro::Task<PromptAssessment> rendering = app_.delivery().renderSpeech(mode);
    const PromptAssessment assessment = co_await std::move(rendering);
    if (!self || cancelled->load() || postRecordingTransformToken_ != token) co_return;

    app_.setTransformStatus(std::nullopt);
    app_.setCurrentAssessment(assessment);
    app_.setPromptDraft(assessment.improved);
    app_.setLiveCaption(assessment.original, "");
    if (const auto id = app_.current().historyEntryID) updateSpeechEntry(*id, assessment.improved, mode);
    postRecordingTransformToken_.reset();
    postRecordingTransformTask_.reset();
    app_.setUIState(UIState::ready);
    app_.updateIcon(true);
}

void EntryEditor::transformSpeechEntry(const std::string& id, OutputMode mode) {
    const std::vector<HistoryEntry> timeline = app_.speechTimeline();
    const auto entry =
        std::find_if(timeline.begin(), timeline.end(), [&](const HistoryEntry& e) { return e.id == id; });
    if (entry == timeline.end()) return;

    if (historyTransformTask_) historyTransformTask_->store(true);
    historyTransformTask_ = std::make_shared<std::atomic<bool>>(false);
    app_.setHistoryTransformingID(id);

    const TextFormatter formatter(TextFormatter::loadDictionary());
    rerenderEntry(id, mode, formatter.formatExact(entry->transcript), formatter.format(entry->transcript),
                  historyTransformTask_);
}

QCoro::Task<> EntryEditor::rerenderEntry(std::string id, OutputMode mode, std::string exact, std::string clean,
                                         CancelFlag cancelled) {
    QPointer<AppDelegate> self(&app_);
    const std::shared_ptr<RewriteService> rewriter = app_.services().rewriter;
    std::string text = exact;
    if (mode != OutputMode::exact) {
        QCoro::Task<PromptAssessment> rendering =
            mode == OutputMode::prompt ? PromptCoach::improve(clean, *rewriter) : PromptCoach::clean(clean, *rewriter);
        text = (co_await std::move(rendering)).improved;
    }
    if (!self || cancelled->load() || app_.historyTransformingID() != id) co_return;
    updateSpeechEntry(id, text, mode);
    app_.setHistoryTransformingID(std::nullopt);
    historyTransformTask_.reset();
}

void EntryEditor::updateSpeechEntry(const std::string& id, const std::string& renderedText,
                                    std::optional<OutputMode> mode) {
    const std::string trimmed = unicode::trimWhitespaceAndNewlines(renderedText);
    if (trimmed.empty()) return;

    std::vector<HistoryEntry> recent = app_.recentEntries();
    const auto found = std::find_if(recent.begin(), recent.end(), [&](const HistoryEntry& e) { return e.id == id; });
    if (found != recent.end()) {
        found->renderedText = trimmed;
        if (mode) found->outputMode = *mode;
        app_.setRecentEntries(std::move(recent));
    }
    app_.services().history->updateRenderedText(id, trimmed, mode);
    app_.setEntries(app_.services().history->entries());
    if (app_.current().historyEntryID == id) app_.setPromptDraft(trimmed);
}

void EntryEditor::stageCurrentPromptEdit(const std::string& text) {
    const auto id = app_.current().historyEntryID;
    if (!id) return;
    std::vector<HistoryEntry> recent = app_.recentEntries();
    const auto found = std::find_if(recent.begin(), recent.end(), [&](const HistoryEntry& e) { return e.id == *id; });
    if (found == recent.end()) return;
    found->renderedText = text;
    app_.setRecentEntries(std::move(recent));
}

void EntryEditor::replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& replacement) {
    const std::string trimmed = unicode::trimWhitespaceAndNewlines(replacement);
    std::vector<ConfidenceIssue> issues = app_.confidenceIssues();
    const std::optional<PromptAssessment> assessment = app_.currentAssessment();
    if (trimmed.empty() || unicode::foldCase(trimmed) == unicode::foldCase(issue.heard) || !assessment) {
        removeIssue(issues, issue.id);
        app_.setConfidenceIssues(std::move(issues));
        return;
    }

    CurrentResult& current = app_.current();
    const std::string exact = folded::replaceFirst(current.exactTranscript, issue.heard, trimmed);
    const std::string clean = folded::replaceFirst(current.cleanTranscript, issue.heard, trimmed);
    if (exact == current.exactTranscript && clean == current.cleanTranscript) {
        removeIssue(issues, issue.id);
        app_.setConfidenceIssues(std::move(issues));
        return;
    }

    // Teaching writes learned.json: off the main thread, in the order corrections came.
    app_.fileWorker().start([heard = issue.heard, trimmed] { LearnedStore::add(heard, trimmed); });
    current.exactTranscript = exact;
    current.cleanTranscript = clean;

    const std::string source = app_.outputMode() == OutputMode::exact ? exact : clean;
    const std::string rendered = folded::replaceFirst(app_.promptDraft(), issue.heard, trimmed);
    PromptAssessment updated = *assessment;
    updated.original = source;
    updated.improved = rendered;
    app_.setCurrentAssessment(updated);
    app_.setPromptDraft(rendered);
    app_.setLiveCaption(source, "");

    removeIssue(issues, issue.id);
    std::erase_if(issues, [&](const ConfidenceIssue& other) { return !folded::contains(rendered, other.heard); });
    app_.setConfidenceIssues(std::move(issues));

    if (const auto id = current.historyEntryID) {
        std::vector<HistoryEntry> recent = app_.recentEntries();
        for (HistoryEntry& entry : recent) {
            if (entry.id != *id) continue;
            entry.transcript = exact;
            entry.renderedText = rendered;
            break;
        }
        app_.setRecentEntries(std::move(recent));
        app_.services().history->updateTranscript(*id, exact, rendered);
        app_.setEntries(app_.services().history->entries());
    }
}

void EntryEditor::copyTranscriptSurface() {
    std::string text;
    if (app_.uiState() == UIState::ready) {
        text = app_.promptDraft();
    } else {
        const auto& caption = app_.transcriptModel().snapshot();
        std::vector<std::string> parts;
        for (const QString& part : {caption.finalized, caption.provisional})
            if (!part.isEmpty()) parts.push_back(part.toStdString());
        text = parts.size() == 2 ? parts[0] + " " + parts[1] : parts.empty() ? "" : parts[0];
    }
    if (unicode::trimWhitespaceAndNewlines(text).empty()) return;
    app_.services().clipboard->setText(text);
}

void EntryEditor::clearReadyPrompt() {
    cancelPostRecordingTransform();
    app_.setCurrentAssessment(std::nullopt);
    app_.setPromptDraft("");
    app_.setConfidenceIssues({});
    CurrentResult& current = app_.current();
    current.exactTranscript.clear();
    current.cleanTranscript.clear();
    app_.setLiveCaption("", "");
    current.pendingTarget.reset();
    current.historyEntryID.reset();
    app_.setUIState(UIState::idle);
    app_.updateIcon(true);
}

}  // namespace vesk

#include "app/ResultDelivery.h"

#include "app/AppDelegate.h"
#include "app/EntryEditor.h"
#include "app/FoldedText.h"
#include "core/Delay.h"
#include "core/Uuid.h"
#include "history/HistoryStore.h"

#include <QPointer>

namespace vesk {

ResultDelivery::ResultDelivery(AppDelegate& app) : app_(app) {}

std::string ResultDelivery::statusForRendering(OutputMode mode) const {
    if (mode == OutputMode::exact) return "Restoring your exact transcript…";
    const bool available = !app_.services().rewriter->availabilityNote().has_value();
    if (mode == OutputMode::prompt) return available ? "Structuring your prompt on-device…" : "Preparing your prompt…";
    return available ? "Tightening your wording on-device…" : "Cleaning your wording…";
}

QCoro::Task<PromptAssessment> ResultDelivery::renderSpeech(OutputMode mode) {
    // The coach keeps its own reference alive for as long as it works.
    const std::shared_ptr<RewriteService> rewriter = app_.services().rewriter;
    // Each task is made before it is awaited: no temporaries live inside an await.
    if (mode != OutputMode::exact) {
        QCoro::Task<PromptAssessment> rendering = mode == OutputMode::prompt
                                                      ? PromptCoach::improve(app_.current().cleanTranscript, *rewriter)
                                                      : PromptCoach::clean(app_.current().cleanTranscript, *rewriter);
        co_return co_await std::move(rendering);
    }
    PromptAssessment assessment = PromptCoach::assess(app_.current().exactTranscript);
    assessment.improved = app_.current().exactTranscript;
    co_return assessment;
}

std::string ResultDelivery::statusLine(size_t reviewCount, bool autoCopy, bool autoPaste, OutputMode mode) {
    if (reviewCount > 0) {
        const std::string detail = reviewCount == 1 ? "one detail" : std::to_string(reviewCount) + " details";
        return autoCopy ? "Copied · review " + detail + " in Vesk" : "Review " + detail + " in Vesk";
    }
    if (autoPaste) return "Pasted";
    if (autoCopy) return "Copied · Ctrl+V to paste";
    return std::string(displayName(mode)) + " ready · Open Vesk to edit";
}

void ResultDelivery::deliver(const PromptAssessment& assessment, OutputMode mode,
                             const std::vector<ConfidenceIssue>& issues, std::optional<FocusTarget> target,
                             std::optional<double> duration) {
    ControllerServices& services = app_.services();
    const std::string& rendered = assessment.improved;

    app_.setTransformStatus(std::nullopt);
    app_.setCurrentAssessment(assessment);
    app_.setPromptDraft(rendered);

    std::vector<ConfidenceIssue> visible;
    for (const ConfidenceIssue& issue : issues)
        if (folded::contains(rendered, issue.heard)) visible.push_back(issue);
    const size_t reviewCount = visible.size();
    app_.setConfidenceIssues(std::move(visible));

    app_.setLiveCaption(assessment.original, "");
    app_.current().pendingTarget = target;

    HistoryEntry entry;
    entry.id = makeUuid();
    entry.transcript = app_.current().exactTranscript;
    entry.renderedText = rendered;
    entry.date = historyDateFromUnixSeconds(services.clock->unixTime());
    entry.duration = duration;
    entry.outputMode = mode;

    std::vector<HistoryEntry> recent = app_.recentEntries();
    recent.insert(recent.begin(), entry);
    if (recent.size() > kRecentLimit) recent.resize(kRecentLimit);
    app_.setRecentEntries(std::move(recent));

    if (services.settings->read().saveHistory) {
        services.history->add(entry);
        app_.setEntries(services.history->entries());
        app_.refreshVoiceProfileIfDue(false);
    }
    app_.current().historyEntryID = entry.id;

    const bool autoCopy = app_.autoCopy();
    const bool autoPaste = app_.autoPaste();
    if (autoCopy) services.clipboard->setText(rendered);

    services.hud->showResult(rendered, statusLine(reviewCount, autoCopy, autoPaste, mode));

    if (autoPaste && reviewCount == 0) {
        handlePromptPreviewAction({PromptPreviewAction::Kind::paste, rendered}, target);
        app_.clearReadyPrompt();
    } else {
        app_.setUIState(UIState::ready);
        app_.updateIcon(true);
    }
}

void ResultDelivery::handlePromptPreviewAction(const PromptPreviewAction& action, std::optional<FocusTarget> target) {
    ControllerServices& services = app_.services();
    if (action.kind == PromptPreviewAction::Kind::copy) {
        copy(action.text);
        return;
    }
    if (!services.keyboard->isTrusted() || !target) {
        services.clipboard->setText(action.text);
        app_.setLastError(kPasteNeedsKeyboardAccess);
        services.sounds->play("Basso");
        return;
    }
    pasteInto(*target, action.text);
}

QCoro::Task<> ResultDelivery::pasteInto(FocusTarget target, std::string text) {
    QPointer<AppDelegate> self(&app_);
    const std::chrono::milliseconds delay = app_.services().pasteDelay;
    // The activation is not waited on: the fixed delay from here gives the target its time
    // to take focus, whatever the window manager reports meanwhile.
    app_.services().focus->bringToFront(target);
    co_await sleepAtLeast(delay);
    if (!self) co_return;
    QCoro::Task<std::optional<std::string>> pasting = app_.services().inserter->insert(std::move(text));
    const std::optional<std::string> failure = co_await std::move(pasting);
    if (!self) co_return;
    if (failure) {
        // The text stays on the clipboard; say so instead of pretending it was pasted.
        app_.setLastError(*failure);
        app_.services().sounds->play("Basso");
        co_return;
    }
    app_.services().sounds->play("Tink");
}

void ResultDelivery::copy(const std::string& text) {
    app_.services().clipboard->setText(text);
    app_.services().sounds->play("Tink");
}

}  // namespace vesk

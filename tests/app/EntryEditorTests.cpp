// Editing the ready result and history entries over doubles: re-renders and their races,
// corrections that teach the learned store, copies and dismissal.

#include "app/ControllerRig.h"
#include "text/LearnedStore.h"

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

// A ready exact-mode result of `recognized` with `issues`, stored in the history.
struct ReadyResult {
    explicit ReadyResult(std::string recognized, std::vector<ConfidenceIssue> issues = {}) {
        rig.preferences->values = {Hotkey::rightControl, true, OutputMode::exact, "en-US", false, false};
        rig.prepareRecognizer = [=](RecognizerDouble& r) { r.result = {recognized, issues}; };
        rig.start();
        rig.dictate();
        EXPECT_EQ(rig.app->uiState(), UIState::ready);
    }
    AppDelegate& app() { return *rig.app; }
    ControllerRig rig;
};

TEST(EntryEditor, ChangingTheModeTwiceQuicklyKeepsOnlyTheSecondResult) {
    ReadyResult ready("write a plan");
    AppDelegate& app = ready.app();
    ready.rig.rewriter->replies = {{"First answer.", 150ms}, {"Second answer.", 10ms}};
    app.setOutputMode(OutputMode::prompt);
    EXPECT_EQ(app.uiState(), UIState::processing);
    EXPECT_TRUE(app.outputModeSelectionEnabled());  // a re-render does not lock the picker
    app.setOutputMode(OutputMode::clean);
    ASSERT_TRUE(spinUntil([&] { return app.uiState() == UIState::ready; }));
    spinFor(250ms);  // the first, slower answer arrives late and is dropped
    EXPECT_EQ(app.promptDraft(), "Second answer.");
    EXPECT_EQ(app.recentEntries().front().renderedText, "Second answer.");
    EXPECT_EQ(app.recentEntries().front().outputMode, OutputMode::clean);
    EXPECT_EQ(decodeHistory(ready.rig.historyFile())->front().renderedText, "Second answer.");
    EXPECT_FALSE(app.transformStatus());
}

// Clearing the ready result returns to idle; a mode chosen then, or the same mode, renders
// nothing, and an edit staged then reaches no entry.
TEST(EntryEditor, ClearingTheResultOrChoosingTheSameModeDoesNotRerender) {
    ReadyResult ready("write a plan");
    AppDelegate& app = ready.app();
    app.setOutputMode(OutputMode::exact);
    EXPECT_EQ(app.uiState(), UIState::ready);
    app.clearReadyPrompt();
    EXPECT_EQ(app.uiState(), UIState::idle);
    EXPECT_EQ(app.promptDraft(), "");
    EXPECT_FALSE(app.currentAssessment());
    app.stageCurrentPromptEdit("nothing to stage");
    EXPECT_EQ(app.recentEntries().front().renderedText, "Write a plan.");
    app.setOutputMode(OutputMode::prompt);
    spinFor(20ms);
    EXPECT_EQ(app.uiState(), UIState::idle);
    EXPECT_TRUE(ready.rig.rewriter->calls.empty());
    EXPECT_EQ(ready.rig.preferences->values.outputMode, OutputMode::prompt);
}

TEST(EntryEditor, ACorrectionReplacesTheFirstOccurrenceAndTeaches) {
    ReadyResult ready("send it to bjorn and bjorn again", {issue("0-bjorn", "bjorn"), issue("1-again", "again")});
    AppDelegate& app = ready.app();
    app.replaceConfidenceIssue(issue("0-bjorn", "bjorn"), "  Bernd ");
    EXPECT_EQ(app.promptDraft(), "Send it to Bernd and bjorn again.");
    EXPECT_EQ(app.confidenceIssues(), std::vector<ConfidenceIssue>{issue("1-again", "again")});
    EXPECT_EQ(app.currentAssessment()->original, "Send it to Bernd and bjorn again.");
    EXPECT_EQ(app.recentEntries().front().transcript, "Send it to Bernd and bjorn again.");
    EXPECT_EQ(decodeHistory(ready.rig.historyFile())->front().transcript, "Send it to Bernd and bjorn again.");
    ready.rig.app.reset();  // waits for the learned store's save
    const auto learned = LearnedStore::load();
    ASSERT_TRUE(learned);
    ASSERT_EQ(learned->corrections.size(), 1u);
    EXPECT_EQ(learned->corrections[0].heard, "bjorn");
    EXPECT_EQ(learned->corrections[0].intended, "Bernd");
}

TEST(EntryEditor, AnIssueForTheCorrectedWordGoesWithIt) {
    ReadyResult ready("send it to björn now", {issue("0-bjorn", "björn"), issue("1-bjorn", "Bjorn")});
    AppDelegate& app = ready.app();
    ASSERT_EQ(app.confidenceIssues().size(), 2u);  // found ignoring case and diacritics
    app.replaceConfidenceIssue(issue("0-bjorn", "björn"), "Bernd");
    EXPECT_EQ(app.promptDraft(), "Send it to Bernd now.");
    EXPECT_TRUE(app.confidenceIssues().empty());
}

TEST(EntryEditor, RepliesThatTeachNothingOnlyDismissTheIssue) {
    struct Row {
        const char* name;
        std::string heard;
        std::string replacement;
    };
    const Row rows[] = {
        {"kept as recognized", "jira", "  "},
        {"only letter case differs", "jira", "JIRA"},
        {"word no longer there", "confluence", "Confluence wiki"},
    };
    for (const Row& row : rows) {
        ReadyResult ready("open jira now", {issue("0-x", row.heard)});
        AppDelegate& app = ready.app();
        const std::string before = app.promptDraft();
        app.replaceConfidenceIssue(issue("0-x", row.heard), row.replacement);
        EXPECT_TRUE(app.confidenceIssues().empty()) << row.name;
        EXPECT_EQ(app.promptDraft(), before) << row.name;
        ready.rig.app.reset();
        EXPECT_FALSE(std::filesystem::exists(LearnedStore::filePath())) << row.name;
    }
}

TEST(EntryEditor, RerenderingAStoredEntryInExactModeUsesItsTranscript) {
    ReadyResult ready("um write a plan");
    AppDelegate& app = ready.app();
    const std::string id = app.recentEntries().front().id;
    app.updateSpeechEntry(id, "  Something else entirely.  ", OutputMode::clean);
    EXPECT_EQ(app.recentEntries().front().renderedText, "Something else entirely.");
    EXPECT_EQ(app.promptDraft(), "Something else entirely.");
    app.transformSpeechEntry(id, OutputMode::exact);
    ASSERT_TRUE(spinUntil([&] { return !app.historyTransformingID(); }));
    EXPECT_EQ(app.recentEntries().front().renderedText, "Um write a plan.");
    EXPECT_EQ(app.entries().front().outputMode, OutputMode::exact);
    EXPECT_EQ(app.uiState(), UIState::ready);  // an entry re-render leaves the state alone
    app.transformSpeechEntry("no-such-id", OutputMode::exact);
    EXPECT_FALSE(app.historyTransformingID());
}

TEST(EntryEditor, EmptyTextsAndStagedEditsReachNoStore) {
    ReadyResult ready("write a plan");
    AppDelegate& app = ready.app();
    const std::string id = app.recentEntries().front().id;
    app.updateSpeechEntry(id, " \n ", std::nullopt);
    EXPECT_EQ(app.recentEntries().front().renderedText, "Write a plan.");
    app.stageCurrentPromptEdit("Write a plan, today ");
    EXPECT_EQ(app.recentEntries().front().renderedText, "Write a plan, today ");
    EXPECT_EQ(app.entries().front().renderedText, "Write a plan.");
    EXPECT_EQ(app.speechTimeline().size(), 1u);  // one id, its recent form
    EXPECT_EQ(app.speechTimeline().front().renderedText, "Write a plan, today ");
}

TEST(EntryEditor, CopyTranscriptSurfaceCopiesWhatTheAreaShows) {
    ReadyResult ready("write a plan");
    AppDelegate& app = ready.app();
    app.copyTranscriptSurface();
    EXPECT_EQ(ready.rig.clipboard->text, "Write a plan.");

    ready.rig.pressKey();
    ready.rig.clipboard->text.reset();
    app.copyTranscriptSurface();  // an empty caption copies nothing
    EXPECT_FALSE(ready.rig.clipboard->text);
    ready.rig.recognizer().sendCaption("go forward", "ten");
    spinUntil([&] { return !app.transcriptModel().snapshot().provisional.isEmpty(); });
    app.copyTranscriptSurface();
    EXPECT_EQ(ready.rig.clipboard->text, "go forward ten");
    EXPECT_FALSE(ready.rig.journal.has("sound.Tink"));
}

}  // namespace
}  // namespace vesk::test

// Rendering and delivery over doubles: status lines, the review pause, the paste and its
// copy fallback, the recent list and the history file, and damaged files on the way.

#include "app/ControllerRig.h"
#include "app/ResultDelivery.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"

#include <QTcpServer>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

TEST(ResultDelivery, StatusLines) {
    struct Row {
        size_t review;
        bool autoCopy, autoPaste;
        OutputMode mode;
        std::string line;
    };
    const Row rows[] = {
        {1, true, true, OutputMode::prompt, "Copied · review one detail in Vesk"},
        {2, false, true, OutputMode::prompt, "Review 2 details in Vesk"},
        {0, true, true, OutputMode::prompt, "Pasted"},
        {0, true, false, OutputMode::exact, "Copied · Ctrl+V to paste"},
        {0, false, false, OutputMode::clean, "Clean ready · Open Vesk to edit"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ResultDelivery::statusLine(row.review, row.autoCopy, row.autoPaste, row.mode), row.line);
}

TEST(ResultDelivery, RenderingStatusFollowsModelAvailabilityExceptForExact) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    const std::pair<OutputMode, std::pair<const char*, const char*>> rows[] = {
        {OutputMode::prompt, {"Structuring your prompt on-device…", "Preparing your prompt…"}},
        {OutputMode::clean, {"Tightening your wording on-device…", "Cleaning your wording…"}},
        {OutputMode::exact, {"Restoring your exact transcript…", "Restoring your exact transcript…"}},
    };
    for (const auto& [mode, texts] : rows) {
        rig.rewriter->note.reset();
        EXPECT_EQ(app.delivery().statusForRendering(mode), texts.first);
        rig.rewriter->note = "The on-device model is unavailable.";
        EXPECT_EQ(app.delivery().statusForRendering(mode), texts.second);
    }
}

TEST(ResultDelivery, UncertainWordsLeftInTheTextPauseForReview) {
    struct Row {
        const char* name;
        OutputMode mode;
        std::string modelAnswer;  // prompt mode only
        bool paused;
        std::string status;
    };
    const Row rows[] = {
        {"word kept", OutputMode::exact, "", true, "Copied · review one detail in Vesk"},
        {"rendering dropped the word", OutputMode::prompt, "Move ahead ten meters.", false, "Pasted"},
    };
    for (const Row& row : rows) {
        ControllerRig rig({Hotkey::rightControl, false, row.mode, "en-US", true, true});
        rig.prepareRecognizer = [](RecognizerDouble& r) {
            r.result = {"go forward ten meters", {issue("0-forward", "forward"), issue("1-zebra", "zebra")}};
        };
        if (!row.modelAnswer.empty()) rig.rewriter->replies.push_back({row.modelAnswer});
        AppDelegate& app = rig.start();
        rig.dictate();
        spinFor(40ms);
        const std::string text = row.paused ? kSaid : row.modelAnswer;
        EXPECT_TRUE(rig.journal.has("hud.showResult:" + text + "|" + row.status)) << row.name;
        EXPECT_EQ(rig.journal.has("inserter.insert:" + text), !row.paused) << row.name;
        EXPECT_EQ(app.uiState(), row.paused ? UIState::ready : UIState::idle) << row.name;
        EXPECT_EQ(rig.clipboard->text, text) << row.name;  // auto-copy
        if (row.paused) {
            EXPECT_EQ(app.confidenceIssues(), std::vector<ConfidenceIssue>{issue("0-forward", "forward")});
            EXPECT_EQ(app.promptDraft(), text);
            EXPECT_EQ(app.transcriptModel().snapshot().finalized, QString::fromStdString(text));
        }
    }
}

// A paste that cannot happen leaves the text with the person and says why in a sentence,
// with the error sound instead of the paste sound.
TEST(ResultDelivery, APasteThatCannotHappenSaysWhy) {
    const std::string keysFailed = "The text could not be pasted; it is on the clipboard, ready to paste.";
    struct Row {
        const char* name;
        bool trusted, hasTarget;
        std::optional<std::string> keysFailure;
        bool keysSent;
        std::string error;
    };
    const Row rows[] = {
        {"no keyboard access", false, true, {}, false, ResultDelivery::kPasteNeedsKeyboardAccess},
        {"our own window had focus", true, false, {}, false, ResultDelivery::kPasteNeedsKeyboardAccess},
        {"keys could not be sent", true, true, keysFailed, true, keysFailed},
    };
    for (const Row& row : rows) {
        ControllerRig rig({.outputMode = OutputMode::exact, .autoPaste = true});
        rig.keyboard->trusted = row.trusted;
        if (!row.hasTarget) rig.focus->target.reset();
        rig.inserter->failure = row.keysFailure;
        AppDelegate& app = rig.start();
        rig.dictate();
        ASSERT_TRUE(spinUntil([&] { return rig.journal.has("sound.Basso"); })) << row.name;
        spinFor(40ms);
        EXPECT_EQ(app.lastError(), row.error) << row.name;
        // Without keys the fallback copies; keys that were sent left it on the clipboard.
        EXPECT_EQ(rig.clipboard->text, row.keysSent ? std::nullopt : std::optional(kSaid)) << row.name;
        EXPECT_EQ(rig.journal.has("inserter.insert:" + kSaid), row.keysSent) << row.name;
        EXPECT_FALSE(rig.journal.has("sound.Tink")) << row.name;
        EXPECT_TRUE(rig.journal.has("hud.showResult:" + kSaid + "|Pasted")) << row.name;
        EXPECT_EQ(app.uiState(), UIState::idle) << row.name;
    }
}

TEST(ResultDelivery, ThePasteWaitsForTheTargetToTakeFocus) {
    ControllerRig rig;
    rig.services.pasteDelay = 250ms;
    rig.preferences->values.outputMode = OutputMode::exact;
    rig.preferences->values.autoPaste = true;
    rig.start();
    rig.dictate();
    ASSERT_TRUE(rig.journal.has("focus.bringToFront:Editor"));
    spinFor(150ms);
    EXPECT_FALSE(rig.journal.has("inserter.insert:" + kSaid));
    ASSERT_TRUE(rig.waitForPaste(kSaid));
    EXPECT_EQ(rig.journal.lines().back(), "sound.Tink");
}

TEST(ResultDelivery, RecentListKeepsTwentyWhileTheHistoryKeepsMore) {
    for (const bool save : {true, false}) {
        ControllerRig rig({.saveHistory = save, .outputMode = OutputMode::exact});
        AppDelegate& app = rig.start();
        for (int i = 0; i < 21; ++i) {
            rig.clock->now += 2;
            rig.dictate();
        }
        ASSERT_EQ(app.recentEntries().size(), 20u);
        EXPECT_EQ(app.entries().size(), save ? 21u : 0u);
        if (save) {
            EXPECT_EQ(app.entries().back().id, app.speechTimeline().back().id);  // the oldest is kept
            EXPECT_EQ(decodeHistory(rig.historyFile())->size(), 21u);
        } else {
            rig.history->flush();
            EXPECT_FALSE(std::filesystem::exists(rig.home.supportDirectory() / "history.json"));
        }
        EXPECT_EQ(app.recentEntries().front().duration, 0.0);
    }
}

TEST(ResultDelivery, DamagedFilesDuringADictationStillDeliverAndAreKept) {
    ControllerRig rig({Hotkey::rightControl, true, OutputMode::exact, "en-US", true, false});
    rig.home.writeSupportFile("history.json", "[{\"broken\": ");
    rig.home.writeSupportFile("learned.json", "{not json");
    AppDelegate& app = rig.start();
    rig.dictate();
    ASSERT_TRUE(rig.waitForPaste(kSaid));
    const auto stored = decodeHistory(rig.historyFile());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 1u);
    EXPECT_EQ(app.entries().size(), 1u);
    std::vector<std::string> setAside;
    for (const auto& file : std::filesystem::directory_iterator(rig.home.supportDirectory()))
        setAside.push_back(file.path().filename().string());
    EXPECT_TRUE(std::any_of(setAside.begin(), setAside.end(),
                            [](const std::string& name) { return name.starts_with("history.json.unreadable-"); }));
    EXPECT_EQ(rig.home.readSupportFile("learned.json"), "{not json");  // only read, never replaced
}

// A port where nothing listens: the model server is down.
int closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

TEST(ResultDelivery, WithTheModelServerDownPromptModeDeliversTheCoachsScaffold) {
    ControllerRig rig;
    Settings::setString("rewriteEndpoint", "http://127.0.0.1:" + std::to_string(closedPort()) + "/v1");
    Settings::setString("rewriteModel", "llama3");
    rig.services.rewriter = std::make_shared<RewriteEngine>();
    rig.preferences->values.outputMode = OutputMode::prompt;
    AppDelegate& app = rig.start();
    rig.dictate();
    ASSERT_TRUE(spinUntil([&] { return app.uiState() == UIState::ready; }, 10s));
    EXPECT_EQ(app.promptDraft(), PromptCoach::assess(kSaid).improved);
    EXPECT_FALSE(app.transformStatus());
}

}  // namespace
}  // namespace vesk::test

// One dictation through the real services on the test desktop: the recorder on the
// virtual microphone, PocketSphinx, the scripted model server for the prompt mode, the
// real clipboard and paste on Xvfb with the target window focused, and the dictation key
// pressed and released through the real key monitor. Only the windows the controller
// talks to (HUD, tray, console) and the feedback sounds are doubles.

#include "app/ControllerRig.h"
#include "app/ResultDelivery.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"
#include "support/ScriptedModelServer.h"
#include "support/VirtualMicrophone.h"
#include "system/DesktopFixture.h"
#include "system/KeyboardAccess.h"
#include "system/XInputKeySource.h"

#include <iostream>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kGoForward = "/usr/share/pocketsphinx/test/data/goforward.raw";

class RealDictation : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) FAIL() << "this test needs the virtual desktop";
    }
};

std::vector<std::string> recordingsLeft() {
    std::vector<std::string> left;
    for (const auto& file : std::filesystem::directory_iterator(AppPaths::temporaryDirectory()))
        if (file.path().filename().string().starts_with("project-vesk-")) left.push_back(file.path().string());
    return left;
}

TEST_F(RealDictation, AHeldKeyTurnsSpeechIntoTextInTheFocusedWindow) {
    ControllerRig rig;  // the doubles for the windows and sounds, in a scratch home
    std::filesystem::create_directories(AppPaths::temporaryDirectory());
    VirtualMicrophone microphone;
    ASSERT_TRUE(microphone.running()) << microphone.unavailableReason();
    ScriptedModelServer server;
    server.setModels({"scripted"});
    server.setFallbackChatReply(ScriptedReply::answer("Go forward ten meters."));
    Settings::setString("speechEngine", "pocketsphinx");
    Settings::setString("rewriteEndpoint", server.endpoint());
    Settings::setString("rewriteModel", "scripted");
    Settings::setSaveHistory(true);
    Settings::setOutputMode(OutputMode::prompt);
    Settings::setBoolean("autoPaste", true);

    auto path = std::make_shared<PastePath>();
    ControllerServices& services = rig.services;
    services.recorder = std::make_unique<RecorderAdapter>(std::make_shared<AudioRecorder>());
    services.makeRecognizer = transcriberFactory();
    services.rewriter = std::make_shared<RewriteEngine>();
    services.clipboard = std::make_unique<ClipboardAdapter>(std::shared_ptr<Clipboard>(path, &path->clipboard));
    services.inserter = std::make_unique<InserterAdapter>(std::shared_ptr<TextInserting>(path, &path->inserter));
    services.focus = std::make_unique<FocusAdapter>(std::shared_ptr<FocusTracker>(path, &path->focus));
    services.keys = std::make_unique<HotkeyAdapter>(
        std::make_shared<HotkeyMonitor>(Hotkey::rightControl, std::make_unique<XInputKeySource>(path->ledger)));
    services.keyboard = std::make_unique<ProbedKeyboardTrust>();
    services.clock = std::make_unique<SystemClock>();
    services.settings = std::make_unique<SettingsPreferences>();
    services.transforms.reset();
    services.pasteDelay = ControllerServices{}.pasteDelay;
    AppDelegate* app = &rig.start();
    app->applicationDidFinishLaunching();
    ASSERT_TRUE(app->axTrusted());

    path->clipboard.setText("the person's own clipboard");
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    spinFor(100ms);

    xdotool({"keydown", "Control_R"});
    ASSERT_TRUE(spinUntil([&] { return app->uiState() == UIState::recording; }));
    spinFor(300ms);  // the recorder and the live recognizer are running
    ASSERT_TRUE(microphone.playRaw(kGoForward, 16000));
    spinFor(300ms);
    xdotool({"keyup", "Control_R"});
    ASSERT_TRUE(spinUntil([&] { return app->uiState() != UIState::recording; }));
    ASSERT_TRUE(spinUntil([&] { return app->uiState() != UIState::processing; }, 30s));
    ASSERT_EQ(app->recentEntries().size(), 1u) << app->lastError().value_or("");
    const HistoryEntry entry = app->recentEntries().front();
    EXPECT_NE(entry.transcript.find("forward"), std::string::npos) << entry.transcript;
    EXPECT_FALSE(server.chatRequests().empty());

    std::cout << "delivered \"" << entry.renderedText << "\" with " << app->confidenceIssues().size()
              << " word(s) to review\n";
    if (app->confidenceIssues().empty()) {
        // Nothing to review: pasted into the target, and the clipboard put back.
        EXPECT_TRUE(rig.journal.has("hud.showResult:" + entry.renderedText + "|Pasted"));
        EXPECT_TRUE(target.waitForText(entry.renderedText)) << target.latestText();
        EXPECT_EQ(app->uiState(), UIState::idle);
        spinFor(TextInserter::restoreDelay + 300ms);
        EXPECT_EQ(path->clipboard.text(), "the person's own clipboard");
    } else {
        // A flagged word: the result waits for review and nothing is pasted.
        const size_t n = app->confidenceIssues().size();
        const std::string detail = n == 1 ? "one detail" : std::to_string(n) + " details";
        EXPECT_TRUE(rig.journal.has("hud.showResult:" + entry.renderedText + "|Review " + detail + " in Vesk"));
        EXPECT_EQ(app->uiState(), UIState::ready);
        EXPECT_EQ(app->promptDraft(), entry.renderedText);
        spinFor(500ms);
        EXPECT_EQ(target.text(), "");
        EXPECT_EQ(path->clipboard.text(), "the person's own clipboard");
        // The person reviewed it and pastes it into the application they dictated for.
        ASSERT_TRUE(app->current().pendingTarget);
        app->delivery().handlePromptPreviewAction({PromptPreviewAction::Kind::paste, app->promptDraft()},
                                                  app->current().pendingTarget);
        EXPECT_TRUE(target.waitForText(entry.renderedText)) << target.latestText();
        spinFor(TextInserter::restoreDelay + 300ms);
        EXPECT_EQ(path->clipboard.text(), "the person's own clipboard");
    }
    EXPECT_EQ(recordingsLeft(), std::vector<std::string>{});
    rig.app.reset();  // writes what is still queued
    const HistoryStore stored;
    ASSERT_EQ(stored.entries().size(), 1u);
    EXPECT_EQ(stored.entries().front().renderedText, entry.renderedText);
}

}  // namespace
}  // namespace vesk::test

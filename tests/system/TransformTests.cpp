#include "rewriting/RewriteEngine.h"
#include "rewriting/TransformManager.h"
#include "system/DesktopFixture.h"
#include "system/QtClipboard.h"
#include "system/X11FocusTracker.h"
#include "system/X11ShortcutGrabber.h"
#include "system/XTestKeySender.h"

#include "app/Settings.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

TEST(Transform, TheTwoTransformsInOrderWithTheirLinuxKeys) {
    const auto& all = Transform::all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].id, "polish");
    EXPECT_EQ(all[0].name, "Polish");
    EXPECT_EQ(all[0].keyLabel, "Alt+1");
    EXPECT_EQ(all[0].keyCode, KEY_1);
    EXPECT_EQ(all[1].id, "promptEngineer");
    EXPECT_EQ(all[1].name, "Prompt Engineer");
    EXPECT_EQ(all[1].keyLabel, "Alt+2");
    EXPECT_EQ(all[1].keyCode, KEY_2);
    EXPECT_TRUE(all[1].instructions.starts_with("Rewrite the user's rough notes as a clear, well-structured prompt"));
}

// A selection transform wired as the application wires it, against the loopback model
// server, pasting into a real target window.
class SelectionTransforms : public DesktopTest {
protected:
    // Everything that needs the desktop's application object, made once it exists.
    struct Rig {
        ScriptedModelServer server;
        RewriteEngine engine;
        std::shared_ptr<SyntheticKeyLedger> ledger = std::make_shared<SyntheticKeyLedger>();
        QtClipboard clipboard;
        XTestKeySender keys{ledger};
        X11FocusTracker focus;
        TextInserter inserter{clipboard, keys, &focus};
    };

    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        rig = std::make_unique<Rig>();
        server().setModels({"local-model"});
        Settings::setString("rewriteEndpoint", server().endpoint());
        Settings::setString("rewriteModel", "local-model");
        QCoro::waitFor(engine().checkAvailability());
        manager = std::make_unique<TransformManager>(engine(), rig->inserter, clipboard(),
                                                     std::make_unique<X11ShortcutGrabber>(),
                                                     [this](std::string_view name) { sounds.emplace_back(name); });
        manager->onStatus = [this](std::optional<std::string> text) { statuses.push_back(text.value_or("<none>")); };
        manager->onError = [this](std::string message) { errors.push_back(std::move(message)); };
        ASSERT_TRUE(manager->startMonitoring());
        target = std::make_unique<TargetWindow>();
        ASSERT_TRUE(target->isReady()) << target->problem();
    }

    void TearDown() override {
        target.reset();
        manager.reset();
        rig.reset();
    }

    ScriptedModelServer& server() { return rig->server; }
    RewriteEngine& engine() { return rig->engine; }
    QtClipboard& clipboard() { return rig->clipboard; }

    void press(const std::string& combination) {
        ASSERT_EQ(runProcess("xdotool", {"key", combination}, 10).exitCode, 0);
    }
    bool finished() { return !statuses.empty() && statuses.back() == "<none>"; }

    ScratchHome home;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<TransformManager> manager;
    std::unique_ptr<TargetWindow> target;
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::string> sounds;
};

TEST_F(SelectionTransforms, AltOneReplacesTheSelectionAndRestoresTheClipboard) {
    server().enqueueChatReply(ScriptedReply::answer("Their meeting is on Tuesday."));
    target->request("set there meeting is tuesday");
    target->request("select");
    clipboard().setText("what the person had copied");

    press("alt+1");
    ASSERT_TRUE(target->waitForText("Their meeting is on Tuesday.")) << target->latestText();
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Polish: reading selection…", "Polish: rewriting…", "<none>"}));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(sounds, (std::vector<std::string>{"Tink"}));
    EXPECT_EQ(clipboard().text(), "what the person had copied");
    const auto requests = server().chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userMessage, "there meeting is tuesday");
    EXPECT_TRUE(requests[0].systemMessage.starts_with(Transform::all()[0].instructions));
    EXPECT_FALSE(std::find(target->keysSeen().begin(), target->keysSeen().end(), "Alt+1") != target->keysSeen().end());
}

TEST_F(SelectionTransforms, ACopyDuringTheRestoreDelayWins) {
    server().enqueueChatReply(ScriptedReply::answer("Rewritten."));
    target->request("set rough words");
    target->request("select");
    clipboard().setText("older copy");
    press("alt+2");
    ASSERT_TRUE(target->waitForText("Rewritten.")) << target->latestText();
    target->request("own copied meanwhile");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(clipboard().text(), "copied meanwhile");
    EXPECT_EQ(statuses.front(), "Prompt Engineer: reading selection…");
}

TEST_F(SelectionTransforms, BlankSelectionAsksForOneAndLeavesTheClipboard) {
    target->request("set    ");
    target->request("select");
    clipboard().setText("keep me");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(errors, (std::vector<std::string>{"Select some text first, then press Alt+1."}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"Basso"}));
    EXPECT_EQ(clipboard().text(), "keep me");
    EXPECT_TRUE(server().chatRequests().empty());
}

TEST_F(SelectionTransforms, ASecondShortcutWhileRunningIsIgnored) {
    server().enqueueChatReply(ScriptedReply::answer("Polished.").after(700ms));
    target->request("set rough words");
    target->request("select");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return statuses.size() == 2; }));
    press("alt+2");
    spinFor(150ms);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Polish: reading selection…", "Polish: rewriting…"}));
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_TRUE(target->waitForText("Polished."));
    EXPECT_EQ(server().chatRequests().size(), 1u);
}

TEST_F(SelectionTransforms, OtherCombinationsDoNothing) {
    target->request("set rough words");
    target->request("select");
    press("alt+shift+1");
    press("ctrl+alt+1");
    press("alt+3");
    spinFor(300ms);
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(server().chatRequests().empty());
}

TEST_F(SelectionTransforms, UnavailableModelGivesItsNoteAndTouchesNothing) {
    Settings::setString("rewriteModel", "");
    target->request("set rough words");
    target->request("select");
    clipboard().setText("keep me");
    const std::uint64_t before = clipboard().changeCount();
    press("alt+2");
    ASSERT_TRUE(spinUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors,
              (std::vector<std::string>{"Choose a local language model in Settings to power on-device rewriting."}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"Basso"}));
    spinFor(200ms);
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(clipboard().changeCount(), before);
    EXPECT_FALSE(manager->isRunning());
}

TEST_F(SelectionTransforms, EmptyResultIsAnErrorAndTheClipboardComesBack) {
    server().enqueueChatReply(ScriptedReply::answer("   \n"));
    target->request("set rough words");
    target->request("select");
    clipboard().setText("keep me");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(errors, (std::vector<std::string>{"Polish failed: Model returned empty text"}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"Basso"}));
    EXPECT_EQ(clipboard().text(), "keep me");
    EXPECT_EQ(target->text(), "rough words");
}

TEST_F(SelectionTransforms, RewriteFailureNamesTheTransform) {
    server().enqueueChatReply(ScriptedReply::httpError(500, "model crashed"));
    target->request("set rough words");
    target->request("select");
    clipboard().setText("keep me");
    press("alt+2");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].starts_with("Prompt Engineer failed: ")) << errors[0];
    EXPECT_EQ(clipboard().text(), "keep me");
}

}  // namespace
}  // namespace vesk::test

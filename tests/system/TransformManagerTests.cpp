#include "rewriting/RewriteEngine.h"
#include "system/DesktopFixture.h"
#include "system/TransformManager.h"
#include "system/X11ShortcutGrabber.h"

#include "core/Settings.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

// An inserter double around the real one whose first copy throws, as any step outside
// the rewrite might.
class ThrowingOnceInserter : public TextInserting {
public:
    explicit ThrowingOnceInserter(TextInserting& real) : real_(real) {}
    QCoro::Task<InsertOutcome> insert(std::string text) override { return real_.insert(std::move(text)); }
    SavedClipboard saveClipboard() override { return real_.saveClipboard(); }
    void restoreClipboard(const SavedClipboard& saved) override { real_.restoreClipboard(saved); }
    void sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent) override {
        real_.sendKeystroke(keyCode, flags, std::move(sent));
    }
    QCoro::Task<bool> sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) override {
        return real_.sendKeystrokeWhenReady(keyCode, flags);
    }
    QCoro::Task<std::optional<std::string>> copySelection() override {
        if (!thrown_) {
            thrown_ = true;
            throw std::runtime_error("the clipboard went away");
        }
        return real_.copySelection();
    }

private:
    TextInserting& real_;
    bool thrown_ = false;
};

// A key sender double that copies through the real XTest sender but cannot paste.
class CopyOnlyKeySender : public KeySender {
public:
    explicit CopyOnlyKeySender(KeySender& real) : real_(real) {}
    bool send(const Chord& chord) override { return chord.letter != 'v' && real_.send(chord); }
    bool modifiersHeld() override { return real_.modifiersHeld(); }
    std::string name() const override { return "copy-only double"; }

private:
    KeySender& real_;
};

// A selection transform wired as the application wires it, against the loopback model
// server, pasting into a real target window.
class SelectionTransforms : public DesktopTest {
protected:
    // Everything that needs the desktop's application object, made once it exists.
    struct Rig {
        ScriptedModelServer server;
        RewriteEngine engine;
        PastePath path;
    };

    void SetUp() override {
        DesktopTest::SetUp();
        if (HasFatalFailure()) return;
        rig = std::make_unique<Rig>();
        server().setModels({"local-model"});
        Settings::setString("rewriteEndpoint", server().endpoint());
        Settings::setString("rewriteModel", "local-model");
        await(rig->engine.checkAvailability());
        ASSERT_NO_FATAL_FAILURE(useInserter(rig->path.inserter));
        target = std::make_unique<TargetWindow>();
        ASSERT_TRUE(target->isReady()) << target->problem();
    }

    // (Re)builds the manager around `inserter`, watching the shortcuts.
    void useInserter(TextInserting& inserter) {
        manager.reset();
        manager = std::make_unique<TransformManager>(rig->engine, inserter, clipboard(),
                                                     std::make_unique<X11ShortcutGrabber>(),
                                                     [this](std::string_view name) { sounds.emplace_back(name); });
        manager->onStatus = [this](std::optional<std::string> text) { statuses.push_back(text.value_or("<none>")); };
        manager->onError = [this](std::string message) { errors.push_back(std::move(message)); };
        ASSERT_TRUE(manager->startMonitoring());
    }

    ScriptedModelServer& server() { return rig->server; }
    QtClipboard& clipboard() { return rig->path.clipboard; }

    void press(const std::string& combination) { xdotool({"key", combination}); }
    bool finished() { return !statuses.empty() && statuses.back() == "<none>"; }

    ScratchHome home;
    std::unique_ptr<Rig> rig;
    // Doubles a test puts in the path; they outlive the manager.
    std::unique_ptr<KeySender> otherKeys;
    std::unique_ptr<TextInserting> otherInserter;
    std::unique_ptr<TransformManager> manager;
    std::unique_ptr<TargetWindow> target;
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::string> sounds;
};

TEST_F(SelectionTransforms, AltOneReplacesTheSelectionAndRestoresTheClipboard) {
    server().enqueueChatReply(ScriptedReply::answer("Their meeting is on Tuesday."));
    target->select("there meeting is tuesday");
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
    EXPECT_FALSE(target->saw("Alt+1"));
}

TEST_F(SelectionTransforms, ACopyDuringTheRestoreDelayWins) {
    server().enqueueChatReply(ScriptedReply::answer("Rewritten."));
    target->select("rough words");
    clipboard().setText("older copy");
    press("alt+2");
    ASSERT_TRUE(target->waitForText("Rewritten.")) << target->latestText();
    target->request("own copied meanwhile");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(clipboard().text(), "copied meanwhile");
    EXPECT_EQ(statuses.front(), "Prompt Engineer: reading selection…");
}

TEST_F(SelectionTransforms, BlankSelectionAsksForOneAndLeavesTheClipboard) {
    target->select("   ");
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
    target->select("rough words");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return statuses.size() == 2; }));
    press("alt+2");
    spinFor(150ms);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Polish: reading selection…", "Polish: rewriting…"}));
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_TRUE(target->waitForText("Polished."));
    EXPECT_EQ(server().chatRequests().size(), 1u);
}

TEST_F(SelectionTransforms, OtherCombinationsDoNothingAndReachTheApplication) {
    target->select("rough words");
    press("alt+shift+1");
    press("ctrl+alt+1");
    press("super+alt+1");
    press("alt+3");
    ASSERT_TRUE(spinUntil([&] { return target->saw("Alt+3"); })) << ::testing::PrintToString(target->keysSeen());
    EXPECT_TRUE(target->saw("Ctrl+Alt+1"));
    spinFor(200ms);
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(server().chatRequests().empty());
}

TEST_F(SelectionTransforms, UnavailableModelGivesItsNoteAndTouchesNothing) {
    Settings::setString("rewriteModel", "");
    target->select("rough words");
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

TEST_F(SelectionTransforms, AFailedRewriteNamesTheTransformAndPutsNothingBack) {
    for (const auto& [reply, combination, error] :
         {std::tuple{ScriptedReply::answer("   \n"), "alt+1", "Polish failed: Model returned empty text"},
          std::tuple{ScriptedReply::httpError(500, "model crashed"), "alt+2", "Prompt Engineer failed: "}}) {
        SCOPED_TRACE(combination);
        statuses.clear(), errors.clear(), sounds.clear();
        server().enqueueChatReply(reply);
        target->select("rough words");
        clipboard().setText("keep me");
        press(combination);
        ASSERT_TRUE(spinUntil([&] { return finished(); }));
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_TRUE(errors[0].starts_with(error)) << errors[0];
        EXPECT_EQ(sounds, (std::vector<std::string>{"Basso"}));
        EXPECT_EQ(clipboard().text(), "keep me");
        EXPECT_EQ(target->text(), "rough words");
    }
}

TEST_F(SelectionTransforms, AnExceptionFromAnyStepEndsTheTransformAndTheNextOneRuns) {
    otherInserter = std::make_unique<ThrowingOnceInserter>(rig->path.inserter);
    ASSERT_NO_FATAL_FAILURE(useInserter(*otherInserter));
    target->select("rough words");
    clipboard().setText("keep me");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(errors, (std::vector<std::string>{"Polish failed: the clipboard went away"}));
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(clipboard().text(), "keep me");

    statuses.clear();
    server().enqueueChatReply(ScriptedReply::answer("Polished words."));
    press("alt+1");
    ASSERT_TRUE(target->waitForText("Polished words.")) << target->latestText();
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(clipboard().text(), "keep me");
}

TEST_F(SelectionTransforms, AManagerDestroyedMidTransformPutsTheClipboardBack) {
    server().enqueueChatReply(ScriptedReply::answer("Too late.").after(500ms));
    target->select("rough words");
    clipboard().setText("what the person had copied");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return statuses.size() == 2; }));
    ASSERT_EQ(clipboard().text(), "rough words");  // the copied selection, meanwhile
    manager.reset();
    EXPECT_EQ(clipboard().text(), "what the person had copied");
    spinFor(800ms);  // the answer arrives to nobody
    EXPECT_EQ(target->text(), "rough words");
    EXPECT_EQ(clipboard().text(), "what the person had copied");
    EXPECT_EQ(statuses.size(), 2u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SelectionTransforms, AResultThatCannotBePastedStaysOnTheClipboard) {
    otherKeys = std::make_unique<CopyOnlyKeySender>(rig->path.keys);
    otherInserter = std::make_unique<TextInserter>(clipboard(), *otherKeys, &rig->path.focus);
    ASSERT_NO_FATAL_FAILURE(useInserter(*otherInserter));
    server().enqueueChatReply(ScriptedReply::answer("Polished words."));
    target->select("rough words");
    clipboard().setText("keep me");
    press("alt+1");
    ASSERT_TRUE(spinUntil([&] { return finished(); }));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "Polish failed: the result could not be pasted; it is on the clipboard, ready to paste."}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"Basso"}));
    EXPECT_EQ(clipboard().text(), "Polished words.");
    EXPECT_EQ(target->text(), "rough words");
}

}  // namespace
}  // namespace vesk::test

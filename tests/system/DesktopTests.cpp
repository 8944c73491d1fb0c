#include "system/DesktopFixture.h"
#include "system/HotkeyMonitor.h"
#include "system/KeyboardAccess.h"
#include "system/XInputKeySource.h"

#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <tuple>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

// The target's view of the clipboard without our owner mark, which only says who wrote
// it, and without the alias Qt adds when it reads an image from another application.
std::string contentTypes(std::string clip) {
    for (const std::string& type : {std::string(kOwnerMimeType), std::string("application/x-qt-image")}) {
        const auto start = clip.find(type + "=");
        if (start == std::string::npos) continue;
        const auto end = clip.find(';', start);
        clip.erase(start, end == std::string::npos ? std::string::npos : end - start + 1);
    }
    if (!clip.empty() && clip.back() == ';') clip.pop_back();
    return clip;
}

class OnDesktop : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (!HasFatalFailure()) path = std::make_unique<PastePath>();
    }
    // Opens the target window, which takes focus; false (with `target->problem()`) if not.
    bool open(bool terminal = false) {
        target = std::make_unique<TargetWindow>(terminal);
        return target->isReady();
    }
    void waitOutRestore() { spinFor(TextInserter::restoreDelay + 150ms); }

    std::unique_ptr<PastePath> path;
    std::unique_ptr<TargetWindow> target;
};

// --- The dictation key through the real XInput2 source ---------------------------

TEST_F(OnDesktop, XTestPressAndReleaseReachTheMonitorAsStartAndStopWhileMonitoring) {
    HotkeyMonitor monitor(Hotkey::rightControl, std::make_unique<XInputKeySource>());
    std::vector<std::string> calls;
    monitor.onStart = [&] { calls.push_back("start"); };
    monitor.onStop = [&] { calls.push_back("stop"); };
    monitor.onCancel = [&] { calls.push_back("cancel"); };
    ASSERT_TRUE(monitor.startMonitoring());
    ASSERT_TRUE(monitor.startMonitoring());  // a restart must not leave two registrations
    xdotool({"keydown", "Control_R"});
    ASSERT_TRUE(spinUntil([&] { return !calls.empty(); }));
    spinFor(400ms);
    xdotool({"keyup", "Control_R"});
    ASSERT_TRUE(spinUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<std::string>{"start", "stop"}));

    // A quick tap of another modifier and of Right Alt reach nothing.
    xdotool({"key", "Control_L", "Alt_R"});
    spinFor(100ms);
    EXPECT_EQ(calls.size(), 2u);

    monitor.stopMonitoring();
    EXPECT_FALSE(monitor.isMonitoring());
    xdotool({"key", "Control_R"});
    spinFor(100ms);
    EXPECT_EQ(calls.size(), 2u) << "reports after stopping reach nothing";
}

TEST_F(OnDesktop, OurOwnSyntheticKeysAreLeftOutButOthersAreSeen) {
    XInputKeySource source(path->ledger);
    std::vector<KeyEvent> seen;
    ASSERT_TRUE(source.start([&](const KeyEvent& event) { seen.push_back(event); }));
    ASSERT_TRUE(path->keys.send({'v', true, false, false}));
    spinFor(150ms);
    EXPECT_TRUE(seen.empty()) << "our Ctrl+V came back as " << seen.size() << " key reports";
    xdotool({"key", "ctrl+v"});
    ASSERT_TRUE(spinUntil([&] { return seen.size() >= 4; }));
    EXPECT_NE(std::find(seen.begin(), seen.end(), KeyEvent{KEY_V, true}), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), KeyEvent{KEY_LEFTCTRL, false}), seen.end());
}

TEST_F(OnDesktop, KeyboardAccessNamesTheX11ServicesAndWhy) {
    const auto scratch = ScratchHome();
    const KeyboardPaths paths{scratch.root() / "no-input", scratch.root() / "no-uinput", true, false};
    const KeyboardAccess access = probeKeyboardAccess(paths);
    EXPECT_TRUE(access.granted());
    EXPECT_EQ(access.keySource, "X11 XInput2");
    EXPECT_EQ(access.keySender, "XTest");
    EXPECT_NE(access.reason.find("XInput2"), std::string::npos) << access.reason;

    const KeyboardAccess without = probeKeyboardAccess({paths.inputDirectory, paths.uinputNode, false, false});
    EXPECT_FALSE(without.granted());
    EXPECT_TRUE(without.keySource.empty());
    EXPECT_NE(without.reason.find("input group"), std::string::npos) << without.reason;
    EXPECT_EQ(makeKeySource(without, nullptr, paths), nullptr);
    EXPECT_NE(makeKeySource(access, nullptr, paths), nullptr);
}

TEST_F(OnDesktop, OnWaylandKeyboardAccessIgnoresXWaylandAndNamesWhatIsMissing) {
    const auto scratch = ScratchHome();
    const auto uinput = scratch.root() / "uinput";
    std::ofstream(uinput) << "";  // writable, as /dev/uinput is to the input group
    // DISPLAY points at the X server here, as it does at XWayland in a Wayland session.
    const KeyboardAccess nothing =
        probeKeyboardAccess({scratch.root() / "no-input", scratch.root() / "no-uinput", true, true});
    EXPECT_EQ(std::tuple(nothing.keySource, nothing.keySender), std::tuple(std::string(), std::string()));
    EXPECT_NE(nothing.reason.find("On Wayland the dictation key is read from the keyboards under"), std::string::npos)
        << nothing.reason;
    EXPECT_NE(nothing.reason.find("no-uinput is not writable"), std::string::npos) << nothing.reason;

    const KeyboardAccess paste = probeKeyboardAccess({scratch.root() / "no-input", uinput, true, true});
    EXPECT_EQ(std::tuple(paste.keySource, paste.keySender), std::tuple(std::string(), std::string("uinput")));
    EXPECT_FALSE(paste.granted());
    EXPECT_NE(paste.reason.find("input group"), std::string::npos) << paste.reason;
}

// --- Pasting, copying and focus, through a real target window --------------------------

TEST_F(OnDesktop, PastesIntoTheFocusedWindowAndAnEmptyClipboardIsEmptyAgain) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal-classed window, pasted with Ctrl+Shift+V" : "ordinary window");
        path->clipboard.restore({});
        ASSERT_TRUE(open(terminal)) << target->problem();
        ASSERT_EQ(path->focus.focusedWindowIsTerminal(), terminal);
        spinFor(50ms);
        ASSERT_TRUE(path->clipboard.save().empty());
        EXPECT_FALSE(await(path->inserter.insert("Hello from Vesk\nsecond line")).has_value());
        EXPECT_TRUE(target->waitForText("Hello from Vesk\nsecond line")) << target->latestText();
        EXPECT_EQ(target->text(), "Hello from Vesk\nsecond line");  // no stray "^V"
        waitOutRestore();
        EXPECT_TRUE(path->clipboard.save().empty());
        EXPECT_EQ(target->request("clip", "clip:"), "clip:");
    }
}

// A key sender double for a desktop that refuses synthetic keys.
class RefusingKeySender : public KeySender {
public:
    bool send(const Chord&) override {
        ++tries;
        return false;
    }
    bool modifiersHeld() override { return false; }
    std::string name() const override { return "refusing double"; }
    int tries = 0;
};

TEST_F(OnDesktop, AFailedPasteSaysSoAndLeavesTheTextOnTheClipboard) {
    RefusingKeySender keys;
    TextInserter inserter(path->clipboard, keys);
    path->clipboard.setText("what the person had copied");
    const InsertOutcome outcome = await(inserter.insert("dictated words"));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(std::tuple(outcome->domain(), outcome->code(), outcome->description()),
              std::tuple(std::string(kErrorDomain), static_cast<int>(InsertError::keysNotSent),
                         std::string("The text could not be pasted; it is on the clipboard, ready to paste.")));
    EXPECT_EQ(keys.tries, 1);
    waitOutRestore();
    EXPECT_EQ(path->clipboard.text(), "dictated words");
}

TEST_F(OnDesktop, ImageAndTextAreRestoredWithEveryType) {
    ASSERT_TRUE(open()) << target->problem();
    target->request("own-image");
    ASSERT_TRUE(spinUntil([&] { return path->clipboard.text() == "picture caption"; }));
    const std::string before = target->request("clip", "clip:");
    ASSERT_NE(before.find("image/png="), std::string::npos) << before;
    ASSERT_NE(before.find("text/html="), std::string::npos) << before;
    const SavedClipboard saved = path->clipboard.save();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(saved[0].contains("image/png"));
    EXPECT_FALSE(saved[0].contains("TARGETS"));

    path->inserter.insert("pasted");
    ASSERT_TRUE(target->waitForText("pasted"));
    EXPECT_NE(target->request("clip", "clip:"), before);  // our text is on it meanwhile
    waitOutRestore();
    const std::string after = target->request("clip", "clip:");
    EXPECT_NE(after.find(kOwnerMimeType), std::string::npos) << "our restore carries the owner mark";
    EXPECT_EQ(contentTypes(after), before);
    EXPECT_EQ(path->clipboard.save(), saved);
}

TEST_F(OnDesktop, RestoreLeavesANewerCopyAlone) {
    ASSERT_TRUE(open()) << target->problem();
    // A second insert 0.4 s after the first saves our first text, and restores that.
    path->clipboard.setText("original");
    path->inserter.insert("first ");
    spinFor(400ms);
    path->inserter.insert("second");
    ASSERT_TRUE(target->waitForText("first second")) << target->latestText();
    waitOutRestore();
    EXPECT_EQ(path->clipboard.text(), "first ");

    // Someone else's copy within the restore delay wins.
    path->inserter.insert(" dictated");
    ASSERT_TRUE(target->waitForText("first second dictated")) << target->latestText();
    target->request("own the person's own copy");
    waitOutRestore();
    EXPECT_EQ(path->clipboard.text(), "the person's own copy");
}

TEST_F(OnDesktop, PasteWaitsUntilThePersonLetsGoOfModifiers) {
    ASSERT_TRUE(open()) << target->problem();
    xdotool({"keydown", "Alt_L"});
    path->inserter.insert("after alt");
    spinFor(300ms);
    EXPECT_EQ(target->latestText(), "");  // not sent as Alt+Ctrl+V
    xdotool({"keyup", "Alt_L"});
    EXPECT_TRUE(target->waitForText("after alt")) << target->latestText();
}

TEST_F(OnDesktop, CopySelectionReturnsTheSelectedText) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal-classed window, copied with Ctrl+Shift+C" : "ordinary window");
        ASSERT_TRUE(open(terminal)) << target->problem();
        target->select("echo the words");
        EXPECT_EQ(await(path->inserter.copySelection()), std::optional<std::string>("echo the words"));
        EXPECT_EQ(target->text(), "echo the words");  // no stray "^C"
    }
}

TEST_F(OnDesktop, ACopyWhileModifiersAreStillHeldIsNotTheSelection) {
    ASSERT_TRUE(open()) << target->problem();  // nothing in it to copy
    xdotool({"keydown", "Alt_L"});
    auto copied = path->inserter.copySelection();
    spinFor(100ms);
    target->request("own copied before the chord");
    ASSERT_TRUE(spinUntil([&] { return path->clipboard.text() == "copied before the chord"; }));
    xdotool({"keyup", "Alt_L"});
    EXPECT_EQ(await(std::move(copied)), std::nullopt);
}

TEST_F(OnDesktop, CopySelectionWithoutCopyableTextGivesNothing) {
    ASSERT_TRUE(open()) << target->problem();
    path->clipboard.setText("unchanged");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(await(path->inserter.copySelection()), std::nullopt) << "nothing selected";
    EXPECT_GE(std::chrono::steady_clock::now() - started, TextInserter::pollInterval * TextInserter::pollCount);
    EXPECT_EQ(path->clipboard.text(), "unchanged");

    // The application copies only an image.
    target->select("a picture");
    target->request("image-on-copy");
    const std::uint64_t before = path->clipboard.changeCount();
    EXPECT_EQ(await(path->inserter.copySelection()), std::nullopt) << "copied content without text";
    EXPECT_NE(path->clipboard.changeCount(), before);
    const SavedClipboard copied = path->clipboard.save();
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_TRUE(copied[0].contains("image/png"));
}

TEST_F(OnDesktop, FocusReturnsToThePreviousWindowAndThePasteLandsThere) {
    TargetWindow first(false, "First");
    ASSERT_TRUE(first.isReady()) << first.problem();
    const auto captured = path->focus.captureFocusedWindow();
    ASSERT_TRUE(captured.has_value());
    EXPECT_EQ(captured->window, first.window());
    EXPECT_GT(captured->pid, 0);

    auto second = std::make_unique<TargetWindow>(false, "Second");
    ASSERT_TRUE(second->isReady()) << second->problem();
    const auto capturedSecond = path->focus.captureFocusedWindow();
    ASSERT_TRUE(capturedSecond.has_value());
    ASSERT_EQ(capturedSecond->window, second->window());

    EXPECT_TRUE(await(path->focus.activate(*captured)));
    EXPECT_EQ(path->focus.focusedWindow()->window, first.window());
    path->inserter.insert("back where I was");
    EXPECT_TRUE(first.waitForText("back where I was")) << first.latestText();
    EXPECT_EQ(second->text(), "");

    second.reset();  // a window that has gone cannot be brought back
    spinFor(100ms);
    EXPECT_FALSE(await(path->focus.activate(*capturedSecond)));
}

TEST_F(OnDesktop, OurOwnWindowIsNoTarget) {
    QWidget own;
    ASSERT_TRUE(showFocused(own));
    ASSERT_TRUE(spinUntil([&] {
        const auto focused = path->focus.focusedWindow();
        return focused && focused->window == own.winId();
    }));
    EXPECT_EQ(path->focus.captureFocusedWindow(), std::nullopt);
}

}  // namespace
}  // namespace vesk::test

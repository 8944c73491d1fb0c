#include "system/DesktopFixture.h"
#include "system/HotkeyMonitor.h"
#include "system/KeyboardAccess.h"
#include "system/QtClipboard.h"
#include "system/TextInserter.h"
#include "system/X11FocusTracker.h"
#include "system/XInputKeySource.h"
#include "system/XTestKeySender.h"

#include "support/TestEnvironment.h"

#include <QCoro/QCoroTask>
#include <QWidget>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

void xdotool(const std::vector<std::string>& arguments) {
    ASSERT_EQ(runProcess("xdotool", arguments, 10).exitCode, 0) << "xdotool failed";
}

// The pieces of the paste path, wired as the application wires them.
struct PastePath {
    std::shared_ptr<SyntheticKeyLedger> ledger = std::make_shared<SyntheticKeyLedger>();
    QtClipboard clipboard;
    XTestKeySender keys{ledger};
    X11FocusTracker focus;
    TextInserter inserter{clipboard, keys, &focus};
};

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

template <typename T>
T await(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

// --- The dictation key through the real XInput2 source ---------------------------

class HotkeyOnX11 : public DesktopTest {};

TEST_F(HotkeyOnX11, XTestPressAndReleaseReachTheMonitorAsStartAndStop) {
    HotkeyMonitor monitor(Hotkey::rightControl, std::make_unique<XInputKeySource>());
    std::vector<std::string> calls;
    monitor.onStart = [&] { calls.push_back("start"); };
    monitor.onStop = [&] { calls.push_back("stop"); };
    monitor.onCancel = [&] { calls.push_back("cancel"); };
    ASSERT_TRUE(monitor.startMonitoring());
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
}

TEST_F(HotkeyOnX11, OurOwnSyntheticKeysAreLeftOutButOthersAreSeen) {
    PastePath path;
    XInputKeySource source(path.ledger);
    std::vector<KeyEvent> seen;
    ASSERT_TRUE(source.start([&](const KeyEvent& event) { seen.push_back(event); }));
    ASSERT_TRUE(path.keys.send({'v', true, false, false}));
    spinFor(150ms);
    EXPECT_TRUE(seen.empty()) << "our Ctrl+V came back as " << seen.size() << " key reports";
    xdotool({"key", "ctrl+v"});
    ASSERT_TRUE(spinUntil([&] { return seen.size() >= 4; }));
    EXPECT_NE(std::find(seen.begin(), seen.end(), KeyEvent{KEY_V, true}), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), KeyEvent{KEY_LEFTCTRL, false}), seen.end());
}

TEST_F(HotkeyOnX11, KeyboardAccessNamesTheX11ServicesAndWhy) {
    const auto scratch = ScratchHome();
    const KeyboardPaths paths{scratch.root() / "no-input", scratch.root() / "no-uinput", true};
    const KeyboardAccess access = probeKeyboardAccess(paths);
    EXPECT_TRUE(access.granted());
    EXPECT_EQ(access.keySource, "X11 XInput2");
    EXPECT_EQ(access.keySender, "XTest");
    EXPECT_NE(access.reason.find("XInput2"), std::string::npos) << access.reason;

    const KeyboardAccess without = probeKeyboardAccess({paths.inputDirectory, paths.uinputNode, false});
    EXPECT_FALSE(without.granted());
    EXPECT_TRUE(without.keySource.empty());
    EXPECT_NE(without.reason.find("input group"), std::string::npos) << without.reason;
    EXPECT_EQ(makeKeySource(without, nullptr, paths), nullptr);
    EXPECT_NE(makeKeySource(access, nullptr, paths), nullptr);
}

// --- Pasting ------------------------------------------------------------------------

class Pasting : public DesktopTest {};

TEST_F(Pasting, TextArrivesInTheFocusedWindowAndAnEmptyClipboardIsEmptyAgain) {
    PastePath path;
    path.clipboard.restore({});
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    spinFor(50ms);
    ASSERT_TRUE(path.clipboard.save().empty());

    path.inserter.insert("Hello from Vesk\nsecond line");
    EXPECT_TRUE(target.waitForText("Hello from Vesk\nsecond line")) << target.latestText();
    spinFor(TextInserter::restoreDelay + 150ms);
    EXPECT_TRUE(path.clipboard.save().empty());
    EXPECT_EQ(target.request("clip", "clip:"), "clip:");
}

TEST_F(Pasting, TerminalClassedWindowGetsCtrlShiftV) {
    PastePath path;
    TargetWindow terminal(true, "Terminal");
    ASSERT_TRUE(terminal.isReady()) << terminal.problem();
    ASSERT_TRUE(path.focus.focusedWindowIsTerminal());
    path.inserter.insert("ls -la");
    EXPECT_TRUE(terminal.waitForText("ls -la")) << terminal.latestText();
    EXPECT_EQ(terminal.text(), "ls -la");  // a bare Ctrl+V would have typed "^V"
}

TEST_F(Pasting, ImageAndTextAreRestoredWithEveryType) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    target.request("own-image");
    ASSERT_TRUE(spinUntil([&] { return path.clipboard.text() == "picture caption"; }));
    const std::string before = target.request("clip", "clip:");
    ASSERT_NE(before.find("image/png="), std::string::npos) << before;
    ASSERT_NE(before.find("text/html="), std::string::npos) << before;
    const SavedClipboard saved = path.clipboard.save();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(saved[0].contains("image/png"));
    EXPECT_FALSE(saved[0].contains("TARGETS"));

    path.inserter.insert("pasted");
    ASSERT_TRUE(target.waitForText("pasted"));
    EXPECT_NE(target.request("clip", "clip:"), before);  // our text is on it meanwhile
    spinFor(TextInserter::restoreDelay + 150ms);
    const std::string after = target.request("clip", "clip:");
    EXPECT_NE(after.find(kOwnerMimeType), std::string::npos) << "our restore carries the owner mark";
    EXPECT_EQ(contentTypes(after), before);
    EXPECT_EQ(path.clipboard.save(), saved);
}

TEST_F(Pasting, ACopyMadeMeanwhileWins) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    path.clipboard.setText("what was there");
    path.inserter.insert("dictated");
    ASSERT_TRUE(target.waitForText("dictated"));
    target.request("own the person's own copy");
    spinFor(TextInserter::restoreDelay + 150ms);
    EXPECT_EQ(path.clipboard.text(), "the person's own copy");
}

TEST_F(Pasting, TwoInsertsApartLessThanTheDelayRestoreWhatTheSecondSaved) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    path.clipboard.setText("original");
    path.inserter.insert("first ");
    spinFor(400ms);
    path.inserter.insert("second");
    ASSERT_TRUE(target.waitForText("first second")) << target.latestText();
    spinFor(TextInserter::restoreDelay + 150ms);
    EXPECT_EQ(path.clipboard.text(), "first ");
}

TEST_F(Pasting, WaitsUntilThePersonLetsGoOfModifiers) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    xdotool({"keydown", "Alt_L"});
    path.inserter.insert("after alt");
    spinFor(300ms);
    EXPECT_EQ(target.latestText(), "");  // not sent as Alt+Ctrl+V
    xdotool({"keyup", "Alt_L"});
    EXPECT_TRUE(target.waitForText("after alt")) << target.latestText();
}

// --- Copying the selection ------------------------------------------------------------

class CopyingSelection : public DesktopTest {};

TEST_F(CopyingSelection, ReturnsTheSelectedText) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    target.request("set the words to rewrite");
    target.request("select");
    EXPECT_EQ(await(path.inserter.copySelection()), std::optional<std::string>("the words to rewrite"));
}

TEST_F(CopyingSelection, TerminalsCopyWithCtrlShiftC) {
    PastePath path;
    TargetWindow terminal(true, "Terminal");
    ASSERT_TRUE(terminal.isReady()) << terminal.problem();
    terminal.request("set echo hello");
    terminal.request("select");
    EXPECT_EQ(await(path.inserter.copySelection()), std::optional<std::string>("echo hello"));
    EXPECT_EQ(terminal.text(), "echo hello");  // no "^C" typed
}

TEST_F(CopyingSelection, NothingSelectedGivesNothingAfterTheLastCheck) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    path.clipboard.setText("unchanged");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(await(path.inserter.copySelection()), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - started, TextInserter::pollInterval * TextInserter::pollCount);
    EXPECT_EQ(path.clipboard.text(), "unchanged");
}

TEST_F(CopyingSelection, CopiedContentWithoutTextGivesNothing) {
    PastePath path;
    TargetWindow target;
    ASSERT_TRUE(target.isReady()) << target.problem();
    target.request("set a picture");
    target.request("select");
    target.request("image-on-copy");
    const std::uint64_t before = path.clipboard.changeCount();
    EXPECT_EQ(await(path.inserter.copySelection()), std::nullopt);
    EXPECT_NE(path.clipboard.changeCount(), before);
    const SavedClipboard copied = path.clipboard.save();
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_TRUE(copied[0].contains("image/png"));
}

// --- The focused window ---------------------------------------------------------------

class FocusedWindow : public DesktopTest {};

TEST_F(FocusedWindow, BringsThePreviousWindowBackAndThePasteLandsThere) {
    PastePath path;
    TargetWindow first(false, "First");
    ASSERT_TRUE(first.isReady()) << first.problem();
    const auto captured = path.focus.captureFocusedWindow();
    ASSERT_TRUE(captured.has_value());
    EXPECT_EQ(captured->window, first.window());
    EXPECT_GT(captured->pid, 0);

    TargetWindow second(false, "Second");
    ASSERT_TRUE(second.isReady()) << second.problem();
    ASSERT_EQ(path.focus.focusedWindow()->window, second.window());

    EXPECT_TRUE(await(path.focus.activate(*captured)));
    EXPECT_EQ(path.focus.focusedWindow()->window, first.window());
    path.inserter.insert("back where I was");
    EXPECT_TRUE(first.waitForText("back where I was")) << first.latestText();
    EXPECT_EQ(second.text(), "");
}

TEST_F(FocusedWindow, OurOwnWindowIsNoTarget) {
    PastePath path;
    QWidget own;
    own.setWindowTitle("Vesk");
    own.resize(200, 100);
    own.show();
    own.activateWindow();
    ASSERT_TRUE(spinUntil([&] { return own.isActiveWindow(); }));
    ASSERT_TRUE(spinUntil([&] {
        const auto focused = path.focus.focusedWindow();
        return focused && focused->window == own.winId();
    }));
    EXPECT_EQ(path.focus.captureFocusedWindow(), std::nullopt);
}

TEST_F(FocusedWindow, AVanishedWindowCannotBeActivated) {
    PastePath path;
    std::optional<FocusTarget> captured;
    {
        TargetWindow gone(false, "Gone");
        ASSERT_TRUE(gone.isReady()) << gone.problem();
        captured = path.focus.captureFocusedWindow();
    }
    ASSERT_TRUE(captured.has_value());
    spinFor(100ms);
    EXPECT_FALSE(await(path.focus.activate(*captured)));
}

}  // namespace
}  // namespace vesk::test

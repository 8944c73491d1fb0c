#pragma once

#include "support/EventLoop.h"

#include "support/VirtualDesktop.h"
#include "system/QtClipboard.h"
#include "system/TextInserter.h"
#include "system/X11FocusTracker.h"
#include "system/XTestKeySender.h"

#include <gtest/gtest.h>
#include <QCoro/QCoroTask>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace vesk::test {

// Runs xdotool with these arguments; a failure to run it fails the test.
void xdotool(const std::vector<std::string>& arguments);

template <typename T>
T await(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

// The pieces of the paste path, wired as the application wires them.
struct PastePath {
    std::shared_ptr<SyntheticKeyLedger> ledger = std::make_shared<SyntheticKeyLedger>();
    QtClipboard clipboard;
    XTestKeySender keys{ledger};
    X11FocusTracker focus;
    TextInserter inserter{clipboard, keys, &focus};
};

// Tests that need an X desktop: one Xvfb with openbox and one QApplication on the xcb
// platform per test process, started on first use.
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Shows one of our own windows and waits until it has focus; false if it never does.
    static bool showFocused(QWidget& window);
};

// The small paste-target application in a window of its own.
class TargetWindow {
public:
    explicit TargetWindow(bool terminal = false, const std::string& title = "Paste target");
    ~TargetWindow();
    TargetWindow(const TargetWindow&) = delete;
    TargetWindow& operator=(const TargetWindow&) = delete;

    bool isReady() const { return window_ != 0; }
    const std::string& problem() const { return problem_; }
    unsigned long window() const { return window_; }
    // The text as last reported after a change.
    const std::string& latestText() const { return latest_; }
    // The key presses the window received, as "Alt+Shift+1".
    const std::vector<std::string>& keysSeen() const { return keys_; }
    bool saw(const std::string& keys) const { return std::find(keys_.begin(), keys_.end(), keys) != keys_.end(); }
    bool waitForText(const std::string& expected, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Asks for the text now.
    std::string text();
    // Sends a command and waits for its answer line (a line starting with `answerPrefix`).
    std::string request(const std::string& command, const std::string& answerPrefix = "done");
    // Replaces the text with `text`, all of it selected.
    void select(const std::string& text) {
        request("set " + text);
        request("select");
    }

private:
    void readLines();
    std::optional<std::string> takeLine(const std::string& prefix);

    QProcess process_;
    std::string buffer_;
    std::vector<std::string> lines_;
    std::vector<std::string> keys_;
    std::string latest_;
    unsigned long window_ = 0;
    std::string problem_;
};

}  // namespace vesk::test

#include "system/DesktopFixture.h"

#include "support/TestEnvironment.h"
#include "system/X11Support.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace vesk::test {
namespace {

struct SharedDesktop {
    SharedDesktop() {
        if (!desktop.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The headless desktop has no session bus. Without one named, libdbus tries to
        // start one for Qt's accessibility bridge and leaks when that fails.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
        app = std::make_unique<QApplication>(argc, argv);
    }
    VirtualDesktop desktop;
    int argc = 1;
    char name[16] = "tests_system";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

// Closes the application while Qt's own per-thread state still exists, which it no longer
// does when static objects are destroyed.
class CloseApplication : public ::testing::Environment {
public:
    explicit CloseApplication(SharedDesktop& desktop) : desktop_(desktop) {}
    void TearDown() override { desktop_.app.reset(); }

private:
    SharedDesktop& desktop_;
};

SharedDesktop& sharedDesktop() {
    static SharedDesktop shared;
    static const bool registered = [] {
        ::testing::AddGlobalTestEnvironment(new CloseApplication(shared));  // gtest owns it
        return true;
    }();
    (void)registered;
    return shared;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

void xdotool(const std::vector<std::string>& arguments) {
    ASSERT_EQ(runProcess("xdotool", arguments, 10).exitCode, 0) << "xdotool failed";
}

void DesktopTest::SetUp() {
    auto& shared = sharedDesktop();
    // A desktop test never passes or skips without its desktop.
    ASSERT_TRUE(shared.desktop.isRunning()) << "no virtual X desktop: " << shared.desktop.problem();
}

bool DesktopTest::showFocused(QWidget& window) {
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    return spinUntil([&] { return window.isActiveWindow(); });
}

TargetWindow::TargetWindow(bool terminal, const std::string& title) {
    QStringList arguments{"--title", QString::fromStdString(title)};
    if (terminal) arguments << "--terminal";
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    process_.start(VESK_PASTE_TARGET, arguments);
    std::optional<std::string> ready;
    spinUntil([&] { return (ready = takeLine("ready ")).has_value(); }, std::chrono::seconds(10));
    if (!ready) {
        problem_ = "the target did not start";
        return;
    }
    const unsigned long window = std::stoul(ready->substr(6));
    // A new window normally gets focus, but a busy window manager may be slow to say
    // so; ask for it the way a pager would when it is late.
    const auto display = x11::openDisplay();
    const auto focused = [&] { return display && x11::activeWindow(display.get()) == window; };
    if (!spinUntil(focused, std::chrono::milliseconds(1500))) {
        runProcess("xdotool", {"windowactivate", "--sync", std::to_string(window)}, 10);
        if (!spinUntil(focused)) {
            const auto active = display ? x11::activeWindow(display.get()) : std::nullopt;
            problem_ = "the target window " + std::to_string(window) + " did not get focus; active is " +
                       std::to_string(active.value_or(0));
            return;
        }
    }
    window_ = window;
}

TargetWindow::~TargetWindow() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.write("quit\n");
    spinUntil([this] { return process_.state() == QProcess::NotRunning; }, std::chrono::seconds(2));
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

void TargetWindow::readLines() {
    buffer_ += process_.readAllStandardOutput().toStdString();
    for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        if (line.starts_with("changed:"))
            latest_ = unescape(line.substr(8));
        else if (line.starts_with("key:"))
            keys_.push_back(line.substr(4));
        else
            lines_.push_back(std::move(line));
    }
}

std::optional<std::string> TargetWindow::takeLine(const std::string& prefix) {
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        if (!it->starts_with(prefix)) continue;
        std::string line = *it;
        lines_.erase(it);
        return line;
    }
    return std::nullopt;
}

bool TargetWindow::waitForText(const std::string& expected, std::chrono::milliseconds timeout) {
    return spinUntil([&] { return latest_ == expected; }, timeout);
}

std::string TargetWindow::request(const std::string& command, const std::string& answerPrefix) {
    process_.write((command + "\n").c_str());
    std::optional<std::string> answer;
    spinUntil([&] { return (answer = takeLine(answerPrefix)).has_value(); });
    return answer.value_or("");
}

std::string TargetWindow::text() {
    const std::string line = request("text", "text:");
    return line.size() >= 5 ? unescape(line.substr(5)) : "<no answer>";
}

}  // namespace vesk::test

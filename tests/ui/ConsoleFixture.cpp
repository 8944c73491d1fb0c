#include "ui/ConsoleFixture.h"

#include "support/VirtualDesktop.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include <cstdlib>

namespace vesk::test {
namespace {

struct SharedDesktop {
    SharedDesktop() {
        if (!desktop.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // No session bus on the headless desktop: say so rather than let libdbus try one.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
        app = std::make_unique<QApplication>(argc, argv);
    }
    VirtualDesktop desktop;
    int argc = 1;
    char name[16] = "tests_ui";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

SharedDesktop& sharedDesktop() {
    static SharedDesktop shared;
    return shared;
}

}  // namespace

void spinFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        spinFor(std::chrono::milliseconds(2));
    }
    return true;
}

void ConsoleTest::SetUp() {
    auto& shared = sharedDesktop();
    ASSERT_TRUE(shared.desktop.isRunning()) << "no virtual X desktop: " << shared.desktop.problem();
}

std::unique_ptr<ConsoleWindow> ConsoleTest::makeWindow() {
    ConsoleWindowOptions options;
    options.settings.supportedLocales = [] { return std::vector<std::string>{"en-US", "de", "fr", "en-GB"}; };
    options.settings.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
    return std::make_unique<ConsoleWindow>(model, std::move(options));
}

std::string ConsoleTest::screenshot(QWidget& widget, const std::string& name) {
    const QString folder = QStringLiteral(VESK_BINARY_DIR "/artifacts/ui");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
    EXPECT_TRUE(widget.grab().save(path)) << "could not save " << path.toStdString();
    return path.toStdString();
}

}  // namespace vesk::test

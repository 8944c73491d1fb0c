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

// The desktop and the application, started by the first test that needs them and ended
// when the test program's environment is torn down, before static destruction: Qt's own
// statics are gone by then, and a QApplication must not outlive them.
class SharedDesktop : public ::testing::Environment {
public:
    QApplication* application() {
        if (!desktop_) {
            desktop_ = std::make_unique<VirtualDesktop>();
            if (desktop_->isRunning()) {
                ::setenv("QT_QPA_PLATFORM", "xcb", 1);
                // No session bus on the headless desktop: say so rather than let libdbus try one.
                ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
                app_ = std::make_unique<QApplication>(argc_, argv_);
            }
        }
        return app_.get();
    }
    const std::string& problem() const { return desktop_->problem(); }
    void TearDown() override {
        app_.reset();
        desktop_.reset();
    }

private:
    std::unique_ptr<VirtualDesktop> desktop_;
    int argc_ = 1;
    char name_[16] = "tests_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Owned by GoogleTest once registered.
SharedDesktop* const sharedDesktop =
    static_cast<SharedDesktop*>(::testing::AddGlobalTestEnvironment(std::make_unique<SharedDesktop>().release()));

}  // namespace

void ConsoleTest::SetUp() {
    ASSERT_NE(sharedDesktop->application(), nullptr) << "no virtual X desktop: " << sharedDesktop->problem();
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

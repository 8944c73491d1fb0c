#pragma once

#include "ui/ConsoleModelDouble.h"
#include "ui/ConsoleWindow.h"
#include "ui/GuiDesktop.h"

#include <QDir>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

namespace vesk::test {

// The console over the model double on the headless desktop (GuiTest).
class ConsoleTest : public GuiTest {
protected:
    // A console over the double with a fixed locale list and a recorded help opener.
    std::unique_ptr<ConsoleWindow> makeWindow() {
        ConsoleWindowOptions options;
        options.settings.supportedLocales = [] { return std::vector<std::string>{"en-US", "de", "fr", "en-GB"}; };
        options.settings.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
        return std::make_unique<ConsoleWindow>(model, std::move(options));
    }
    // Saves what `widget` shows now as build/artifacts/ui/<name>.png; returns the path.
    static std::string screenshot(QWidget& widget, const std::string& name) {
        const QString folder = QStringLiteral(VESK_BINARY_DIR "/artifacts/ui");
        QDir().mkpath(folder);
        const QString path = folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
        EXPECT_TRUE(widget.grab().save(path)) << "could not save " << path.toStdString();
        return path.toStdString();
    }

    ConsoleModelDouble model;
    std::vector<QUrl> openedUrls;
};

// The console opened on its settings page, with the language list loaded.
class SettingsPageTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        window = makeWindow();
        window->setPage(ConsolePage::settings);
        window->present();
        ASSERT_TRUE(spinUntil([&] { return window->settings().localesLoaded(); }));
    }

    std::unique_ptr<ConsoleWindow> window;
};

}  // namespace vesk::test

#pragma once

#include "support/EventLoop.h"

#include "ui/ConsoleModelDouble.h"
#include "ui/ConsoleWindow.h"

#include <gtest/gtest.h>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesk::test {

// A child widget by object name; fails the test (and returns null) when there is none.
template <typename T>
T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

// Widget tests on a headless X desktop: one Xvfb with openbox and one QApplication on the
// xcb platform per test process. A missing desktop fails the test.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override;

    // A console over the double with a fixed locale list and a recorded help opener.
    std::unique_ptr<ConsoleWindow> makeWindow();
    // Saves what `widget` shows now as build/artifacts/ui/<name>.png; returns the path.
    static std::string screenshot(QWidget& widget, const std::string& name);

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

#pragma once

#include "support/EventLoop.h"

#include "support/VirtualDesktop.h"

#include <QImage>
#include <QObject>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

class QWidget;

namespace vesk::test {

// The headless desktop the window tests run on: one Xvfb with openbox and one QApplication on
// the xcb platform per test process, started on first use. Tests using it fail (not skip)
// when the desktop cannot start.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// A child widget by object name; fails the test (and returns null) when there is none.
template <typename T>
T* child(QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

// What the X server says about a window: its frame in root coordinates, whether it is mapped
// and viewable, and its parent (the root for a top-level without a frame).
QRect x11Geometry(unsigned long window);
bool x11Viewable(unsigned long window);
unsigned long x11Parent(unsigned long window);
unsigned long x11Root();
unsigned long x11InputFocus();
// The owner of the system tray selection of screen 0; 0 when no tray host runs.
unsigned long x11TrayOwner();
// A real pointer click (XTest) at `point` in root coordinates.
void x11Click(const QPoint& point, int button = 1);

// Shows `window`, activates it and waits until the X server gives it the input focus.
bool showFocused(QWidget& window);

// The screen's pixels in `rect` (global coordinates), as the X server holds them.
QImage grabScreen(const QRect& rect);

// Saves `image` as <build>/test-artefacts/<name>.png and returns the path.
QString saveArtefact(const QImage& image, const QString& name);

// Counts the pixels of `image` inside `rect` for which `match` holds.
int countPixels(const QImage& image, const std::function<bool(QColor)>& match, QRect rect = {});

// A program started on the test display, stopped when this goes.
class DesktopProcess {
public:
    DesktopProcess(const QString& program, const QStringList& arguments);
    ~DesktopProcess();
    bool isRunning() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

}  // namespace vesk::test

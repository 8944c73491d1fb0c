#include "hud/DictationHUDController.h"
#include "ui/GuiDesktop.h"
#include "visualization/RealtimeModels.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::GuiTest;

// The panel's frame as the X server has it, once it is mapped.
QRect realFrame(const DictationHUDController& hud) { return test::x11Geometry(hud.panel()->winId()); }

bool onScreen(const DictationHUDController& hud) {
    return hud.panel() && hud.panel()->isVisible() && test::x11Viewable(hud.panel()->winId());
}

// Waits until the real window rests at `expected` (the animations take up to 0.29 s).
bool settlesAt(const DictationHUDController& hud, const QRect& expected) {
    return test::spinUntil([&] { return onScreen(hud) && realFrame(hud) == expected; }, 2s);
}

class HUDTest : public GuiTest {
protected:
    AudioVisualModel audio;
    DictationHUDController hud{audio};
};

TEST_F(HUDTest, FramesThroughADictation) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect compact = hud.targetFrame(DictationHUDLayout::compact);
    const QRect expanded = hud.targetFrame(DictationHUDLayout::expanded);
    // Centred, 7 points below the top of the work area, both sharing that top edge.
    EXPECT_EQ(compact, QRect(screen.center().x() + 1 - 84, screen.top() + 7, 168, 36));
    EXPECT_EQ(expanded, QRect(screen.center().x() + 1 - 180, screen.top() + 7, 360, 78));

    hud.showRecording();
    // It grows from a thin line along the strip's top edge.
    EXPECT_EQ(hud.panel()->height(), 2);
    EXPECT_EQ(hud.panel()->y(), compact.y());
    ASSERT_TRUE(settlesAt(hud, compact)) << "compact frame never reached";
    test::saveArtefact(test::grabScreen(compact.adjusted(-10, -7, 10, 10)), "hud-window-recording");

    hud.showProcessing();
    ASSERT_TRUE(settlesAt(hud, expanded));

    const auto resultShown = std::chrono::steady_clock::now();
    hud.showResult("Hello there.", "copied");
    ASSERT_TRUE(settlesAt(hud, expanded));
    test::spinFor(250ms);  // the cross-fade
    test::saveArtefact(test::grabScreen(expanded.adjusted(-10, -7, 10, 10)), "hud-window-result");
    test::spinFor(std::chrono::duration_cast<std::chrono::milliseconds>(
        4300ms - (std::chrono::steady_clock::now() - resultShown)));
    EXPECT_TRUE(onScreen(hud)) << "dismissed before 4.8 s";
    EXPECT_TRUE(test::spinUntil([&] { return !onScreen(hud); }, 1500ms)) << "still up after 4.8 s and the collapse";
}

TEST_F(HUDTest, ExpandingRequestsWhileHiddenAreIgnored) {
    hud.showResult("Hello.", "copied");
    hud.showProcessing();
    hud.showMessage("No microphone.");
    hud.hide();
    EXPECT_EQ(hud.panel(), nullptr);

    hud.showRecording();
    ASSERT_TRUE(settlesAt(hud, hud.targetFrame(DictationHUDLayout::compact)));
    hud.hide();
    ASSERT_TRUE(test::spinUntil([&] { return !onScreen(hud); }, 1s));
    hud.showMessage("Too late.");
    test::spinFor(300ms);
    EXPECT_FALSE(onScreen(hud));
    EXPECT_TRUE(std::holds_alternative<DictationHUDState::Recording>(hud.state().phase()));
}

TEST_F(HUDTest, AShowDuringARunningHideKeepsThePanel) {
    hud.showRecording();
    ASSERT_TRUE(settlesAt(hud, hud.targetFrame(DictationHUDLayout::compact)));
    hud.showMessage("Hold the key a little longer.");
    hud.hide();
    test::spinFor(60ms);  // the collapse is under way
    hud.showRecording();
    ASSERT_TRUE(settlesAt(hud, hud.targetFrame(DictationHUDLayout::compact)));
    // Neither the stale collapse nor the message's dismissal takes it down.
    test::spinFor(3200ms);
    EXPECT_TRUE(onScreen(hud));
    EXPECT_EQ(realFrame(hud), hud.targetFrame(DictationHUDLayout::compact));
}

TEST_F(HUDTest, ASecondMessageRestartsTheDismissal) {
    hud.showRecording();
    hud.showMessage("First.");
    test::spinFor(2000ms);
    hud.showMessage("Second.");
    test::spinFor(2000ms);
    EXPECT_TRUE(onScreen(hud)) << "the first message's delay still ran";
    EXPECT_TRUE(test::spinUntil([&] { return !onScreen(hud); }, 1500ms));
}

TEST_F(HUDTest, NeverTakesTheFocusAndLetsClicksThrough) {
    // A window under the panel that the person is typing into; smaller than the screen, which
    // the window manager would otherwise raise above everything as a full-screen window.
    // Frameless, so that no title bar of the window manager lies under the panel.
    struct Target : QWidget {
        Target() : QWidget(nullptr, Qt::FramelessWindowHint) {}
        void mousePressEvent(QMouseEvent* event) override { pressedAt.push_back(event->globalPosition().toPoint()); }
        std::vector<QPoint> pressedAt;
    } target;
    target.setWindowTitle("Dictation target");
    QLineEdit edit(&target);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    target.setGeometry(area.center().x() - 300, area.top(), 600, 300);
    ASSERT_TRUE(test::showFocused(target));
    const unsigned long focused = test::x11InputFocus();

    hud.showRecording();
    ASSERT_TRUE(settlesAt(hud, hud.targetFrame(DictationHUDLayout::compact)));
    EXPECT_EQ(test::x11InputFocus(), focused);
    hud.showProcessing();
    hud.showResult("Some text.", "pasted");
    ASSERT_TRUE(settlesAt(hud, hud.targetFrame(DictationHUDLayout::expanded)));
    EXPECT_EQ(test::x11InputFocus(), focused);
    EXPECT_TRUE(target.isActiveWindow());

    // The panel is on top of the window (its black face, not the window's light background)...
    const QImage above = test::grabScreen(realFrame(hud));
    EXPECT_GT(test::countPixels(above, [](QColor c) { return c.lightness() < 40; }),
              above.width() * above.height() / 2);
    // ...and a click on it reaches the window below.
    const QPoint middle = realFrame(hud).center();
    test::x11Click(middle);
    ASSERT_TRUE(test::spinUntil([&] { return !target.pressedAt.empty(); }, 2s)) << "the panel swallowed the click";
    EXPECT_EQ(target.pressedAt, std::vector{middle});
    EXPECT_EQ(test::x11InputFocus(), focused);
}

}  // namespace
}  // namespace vesk

#include "ui/ConsoleModelDouble.h"
#include "ui/GuiDesktop.h"
#include "ui/MenuBarQuickPanel.h"
#include "visualization/FieldRendererWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::ConsoleModelDouble;

class QuickPanelTest : public test::GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        panel = std::make_unique<MenuBarQuickPanel>(model);
    }
    template <typename T>
    T* child(const char* name) const {
        return test::child<T>(*panel, name);
    }
    std::array<QToolButton*, 3> modeButtons() const {
        return {child<QToolButton>("mode-aiReady"), child<QToolButton>("mode-synopsis"),
                child<QToolButton>("mode-verbatim")};
    }

    ConsoleModelDouble model;
    std::unique_ptr<MenuBarQuickPanel> panel;
};

TEST_F(QuickPanelTest, StateLineFollowsTheModel) {
    struct Row {
        UIState state;
        Hotkey hotkey;
        OutputMode mode;
        const char* line;
    };
    const Row rows[] = {
        {UIState::idle, Hotkey::rightControl, OutputMode::prompt, "Hold Right Ctrl to dictate"},
        {UIState::idle, Hotkey::rightOption, OutputMode::prompt, "Hold Right Alt (AltGr) to dictate"},
        {UIState::idle, Hotkey::fn, OutputMode::exact, "Hold fn (Globe) to dictate"},
        {UIState::recording, Hotkey::fn, OutputMode::prompt, "Listening"},
        {UIState::processing, Hotkey::fn, OutputMode::prompt, "Interpreting"},
        {UIState::ready, Hotkey::fn, OutputMode::clean, "Clean ready"},
        {UIState::ready, Hotkey::fn, OutputMode::exact, "Exact ready"},
    };
    auto* line = child<QLabel>("stateLine");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        model.setHotkey(row.hotkey);
        model.publishMode(row.mode);
        model.publishState(row.state);
        EXPECT_EQ(line->text().toStdString(), row.line);
        EXPECT_EQ(line->palette().color(QPalette::WindowText),
                  stateTint(row.state, panel->palette().color(QPalette::WindowText)));
        EXPECT_EQ(panel->field().stateCode(), fieldStateCode(row.state));
    }
}

TEST_F(QuickPanelTest, ModeButtonsShowTheModeAndSelectionRights) {
    const auto buttons = modeButtons();
    EXPECT_EQ(buttons[0]->text(), "Prompt");
    EXPECT_EQ(buttons[1]->accessibleName(), "Clean interpretation");
    for (auto* button : buttons) EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    EXPECT_FALSE(child<QToolButton>("quit")->icon().isNull());

    model.publishMode(OutputMode::clean);
    EXPECT_FALSE(buttons[0]->isChecked());
    EXPECT_TRUE(buttons[1]->isChecked());
    EXPECT_FALSE(buttons[2]->isChecked());

    buttons[2]->click();
    EXPECT_EQ(model.modeRequests, std::vector<OutputMode>{OutputMode::exact});
    EXPECT_TRUE(buttons[2]->isChecked());
    EXPECT_FALSE(buttons[1]->isChecked());

    // A mode the controller refuses stays unselected, whatever the click toggled.
    model.acceptsModeChanges = false;
    buttons[0]->click();
    EXPECT_FALSE(buttons[0]->isChecked());
    EXPECT_TRUE(buttons[2]->isChecked());

    model.publishModeSelection(false);
    for (auto* button : buttons) EXPECT_FALSE(button->isEnabled());
    model.publishModeSelection(true);
    for (auto* button : buttons) EXPECT_TRUE(button->isEnabled());
}

TEST_F(QuickPanelTest, OpenAndQuitReachTheModel) {
    panel->popUp(QPoint(100, 100));
    ASSERT_TRUE(test::spinUntil([&] { return panel->isVisible(); }));
    child<QPushButton>("open")->click();
    EXPECT_EQ(model.calls, std::vector<std::string>{"showMainWindow"});
    EXPECT_FALSE(panel->isVisible()) << "the panel stays open over the console";

    child<QToolButton>("quit")->click();
    EXPECT_EQ(model.calls, (std::vector<std::string>{"showMainWindow", "quit"}));
}

TEST_F(QuickPanelTest, IsADarkPopupThatClosesWhenItLosesFocus) {
    QWidget other;
    other.setWindowTitle("Another window");
    other.setGeometry(600, 400, 200, 100);

    model.audioVisual().update(0.7f, [] {
        WaveformFrame frame;
        for (std::size_t k = 0; k < frame.full.size(); ++k) frame.full[k] = 0.5f * std::sin(0.2f * float(k));
        frame.spectrum.fill(0.5f);
        return frame;
    }());
    model.publishState(UIState::recording);
    panel->popUp(QPoint(40, 40));
    ASSERT_TRUE(test::spinUntil([&] { return panel->isVisible() && panel->field().framesDrawn() > 20; }));
    EXPECT_EQ(panel->size(), QSize(386, 277));
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    const QImage shot = test::grabScreen(QRect(panel->pos(), panel->size()));
    test::saveArtefact(shot, "quick-panel-recording");
    // Dark: the background at the state line's right end is near black.
    const QColor background = shot.pixelColor(shot.width() - 30, 20);
    EXPECT_LT(background.lightness(), 50);

    // Working in another window closes it and stops the field.
    ASSERT_TRUE(test::showFocused(other));
    EXPECT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
    const long long frames = panel->field().framesDrawn();
    test::spinFor(200ms);
    EXPECT_EQ(panel->field().framesDrawn(), frames);
}

}  // namespace
}  // namespace vesk

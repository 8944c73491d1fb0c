#pragma once

#include "ui/AppModel.h"

#include <QColor>
#include <QWidget>

#include <array>

class QLabel;
class QToolButton;
class QPushButton;

namespace vesk {

class FieldRendererWidget;

// The line that says what dictation is doing: "Hold <key> to dictate", "Listening",
// "Interpreting" or "<mode> ready".
QString quickPanelStateLine(UIState state, Hotkey hotkey, OutputMode mode);
// The colour of that line and of the tray icon for each state: the label colour of `labelColour`
// when idle, orange while recording, purple while processing, green when a result is ready.
QColor stateTint(UIState state, const QColor& labelColour);
// The field's state code for a dictation state.
int fieldStateCode(UIState state);

// The tray's quick panel: the state line in its tint, the live field, the three output-mode
// buttons, "Open" (the console) and the power button (quit). A dark, frameless 386 x 277 popup
// that closes when it loses focus. Observes `model` (connected in the constructor; the model
// must outlive the panel) and calls its operations for what the person picks. Main thread only.
class MenuBarQuickPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 386;
    static constexpr int panelHeight = 277;

    explicit MenuBarQuickPanel(AppModel& model, QWidget* parent = nullptr);

    // Shows the panel with its top-left corner at `topLeft` (global coordinates).
    void popUp(const QPoint& topLeft);

    FieldRendererWidget& field() const { return *field_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QLabel* stateLine_;
    FieldRendererWidget* field_;
    std::array<QToolButton*, 3> modeButtons_{};
    QPushButton* open_;
    QToolButton* quit_;
};

}  // namespace vesk

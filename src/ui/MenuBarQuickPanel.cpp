#include "ui/MenuBarQuickPanel.h"

#include "ui/Icons.h"
#include "visualization/FieldRendererWidget.h"
#include "visualization/FieldSimulation.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {
namespace {

const QColor kBackground(28, 28, 31);
const QColor kText(235, 235, 240);

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, kBackground);
    palette.setColor(QPalette::WindowText, kText);
    palette.setColor(QPalette::Base, QColor(38, 38, 42));
    palette.setColor(QPalette::Text, kText);
    palette.setColor(QPalette::Button, QColor(48, 48, 54));
    palette.setColor(QPalette::ButtonText, kText);
    palette.setColor(QPalette::Highlight, QColor(255, 110, 26));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 128));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 128));
    return palette;
}

// Flat buttons on the dark panel; the selected mode carries the accent.
constexpr const char* kStyle = R"(
QToolButton, QPushButton {
  background: rgba(255, 255, 255, 16); border: 1px solid rgba(255, 255, 255, 22);
  border-radius: 7px; padding: 5px 8px; color: #ebebf0;
}
QToolButton:hover, QPushButton:hover { background: rgba(255, 255, 255, 30); }
QToolButton:checked { background: rgba(255, 110, 26, 56); border-color: rgba(255, 110, 26, 150); }
QToolButton:disabled, QPushButton:disabled { color: #78787f; }
)";

std::string_view modeSymbol(OutputMode mode) {
    switch (mode) {
        case OutputMode::prompt: return "wand.and.sparkles";
        case OutputMode::clean: return "text.alignleft";
        case OutputMode::exact: return "quote.opening";
    }
    return "wand.and.sparkles";
}

}  // namespace

QString quickPanelStateLine(UIState state, Hotkey hotkey, OutputMode mode) {
    switch (state) {
        case UIState::idle:
            return QStringLiteral("Hold ") + toQString(displayName(hotkey)) + QStringLiteral(" to dictate");
        case UIState::recording: return QStringLiteral("Listening");
        case UIState::processing: return QStringLiteral("Interpreting");
        case UIState::ready: return toQString(displayName(mode)) + QStringLiteral(" ready");
    }
    return {};
}

QColor stateTint(UIState state, const QColor& labelColour) {
    switch (state) {
        case UIState::idle: return labelColour;
        case UIState::recording: return QColor::fromRgbF(1.0f, 0.43f, 0.1f);
        case UIState::processing: return QColor::fromRgbF(0.616f, 0.525f, 1.0f);
        case UIState::ready: return QColor::fromRgbF(0.2f, 0.78f, 0.35f);
    }
    return labelColour;
}

int fieldStateCode(UIState state) {
    switch (state) {
        case UIState::idle: return fieldIdle;
        case UIState::recording: return fieldRecording;
        case UIState::processing: return fieldProcessing;
        case UIState::ready: return fieldReady;
    }
    return fieldIdle;
}

MenuBarQuickPanel::MenuBarQuickPanel(AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), model_(model) {
    setObjectName(QStringLiteral("quickPanel"));
    setWindowTitle(QStringLiteral("Project Vesk"));
    setAttribute(Qt::WA_TranslucentBackground);
    setPalette(darkPalette());
    setFixedSize(panelWidth, panelHeight);
    setStyleSheet(QString::fromLatin1(kStyle));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);

    stateLine_ = new QLabel(this);
    stateLine_->setObjectName(QStringLiteral("stateLine"));
    QFont stateFont = stateLine_->font();
    stateFont.setPointSizeF(stateFont.pointSizeF() * 1.1);
    stateFont.setWeight(QFont::DemiBold);
    stateLine_->setFont(stateFont);
    layout->addWidget(stateLine_);

    field_ = new FieldRendererWidget(model_.audioVisual(), this);
    field_->setObjectName(QStringLiteral("field"));
    field_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(field_, 1);

    auto* modes = new QHBoxLayout;
    modes->setSpacing(8);
    for (std::size_t i = 0; i < kAllOutputModes.size(); ++i) {
        const OutputMode mode = kAllOutputModes[i];
        auto* button = new QToolButton(this);
        const QString name = toQString(displayName(mode));
        button->setObjectName(QStringLiteral("mode-") + toQString(storedValue(mode)));
        button->setText(name);
        button->setAccessibleName(name + QStringLiteral(" interpretation"));
        button->setIcon(symbolIcon(modeSymbol(mode), kText));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, mode] {
            model_.setOutputMode(mode);
            // The model decides; show what it holds, not what the click toggled.
            refresh();
        });
        modes->addWidget(button);
        modeButtons_[i] = button;
    }
    layout->addLayout(modes);

    auto* utility = new QHBoxLayout;
    open_ = new QPushButton(QStringLiteral("Open"), this);
    open_->setObjectName(QStringLiteral("open"));
    open_->setFocusPolicy(Qt::NoFocus);
    connect(open_, &QPushButton::clicked, this, [this] {
        close();
        model_.showMainWindow();
    });
    quit_ = new QToolButton(this);
    quit_->setObjectName(QStringLiteral("quit"));
    quit_->setIcon(symbolIcon("power", kText));
    quit_->setAccessibleName(QStringLiteral("Quit"));
    quit_->setToolTip(QStringLiteral("Quit Project Vesk"));
    quit_->setFocusPolicy(Qt::NoFocus);
    connect(quit_, &QToolButton::clicked, this, [this] { model_.quit(); });
    utility->addWidget(open_, 1);
    utility->addWidget(quit_);
    layout->addLayout(utility);

    connect(&model_, &AppModel::uiStateChanged, this, &MenuBarQuickPanel::refresh);
    connect(&model_, &AppModel::hotkeyChanged, this, &MenuBarQuickPanel::refresh);
    connect(&model_, &AppModel::outputModeChanged, this, &MenuBarQuickPanel::refresh);
    connect(&model_, &AppModel::outputModeSelectionEnabledChanged, this, &MenuBarQuickPanel::refresh);
    refresh();
}

void MenuBarQuickPanel::refresh() {
    const UIState state = model_.uiState();
    stateLine_->setText(quickPanelStateLine(state, model_.hotkey(), model_.outputMode()));
    QPalette linePalette = stateLine_->palette();
    linePalette.setColor(QPalette::WindowText, stateTint(state, kText));
    stateLine_->setPalette(linePalette);
    field_->setStateCode(fieldStateCode(state));
    const bool enabled = model_.outputModeSelectionEnabled();
    for (std::size_t i = 0; i < modeButtons_.size(); ++i) {
        modeButtons_[i]->setEnabled(enabled);
        modeButtons_[i]->setChecked(kAllOutputModes[i] == model_.outputMode());
    }
}

void MenuBarQuickPanel::popUp(const QPoint& topLeft) {
    move(topLeft);
    show();
    raise();
    activateWindow();
}

bool MenuBarQuickPanel::event(QEvent* event) {
    // Like a popover: gone as soon as the person works elsewhere.
    if (event->type() == QEvent::WindowDeactivate && isVisible()) close();
    return QWidget::event(event);
}

void MenuBarQuickPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(shape, kBackground);
    painter.setPen(QPen(QColor(255, 255, 255, 30), 1));
    painter.drawPath(shape);
}

}  // namespace vesk

#include "ui/ConsoleStyle.h"

#include <QLabel>
#include <QStyle>

namespace vesk::ConsoleStyle {

QColor tintColor(AttentionTint tint) {
    switch (tint) {
        case AttentionTint::warning: return kOrange;
        case AttentionTint::error: return kRed;
        case AttentionTint::limited: return kYellow;
        case AttentionTint::passive: return kAccent;
        case AttentionTint::recording: return kOrange;
        case AttentionTint::processing: return kPurple;
        case AttentionTint::review: return kYellow;
        case AttentionTint::ready: return kGreen;
    }
    return kAccent;
}

QString styleSheet() {
    return QStringLiteral(R"(
QWidget { color: #ececef; font-size: 13px; }
QWidget#consoleRoot, QWidget#settingsContent, QWidget#qt_scrollarea_viewport { background: #121317; }
QWidget#sidebar { background: #18191e; }
QFrame[role="card"] { background: #1f2127; border: 1px solid #2a2d35; border-radius: 12px; }
QLabel[role="eyebrow"] { color: #9a9ca6; font-size: 10px; font-weight: 600; letter-spacing: 1px; }
QLabel[role="muted"] { color: #9a9ca6; font-size: 12px; }
QLabel[role="title"] { font-size: 15px; font-weight: 600; }
QLabel[role="heading"] { font-size: 20px; font-weight: 700; }
QPushButton, QToolButton { background: #2a2d35; border: 1px solid #343844; border-radius: 8px; padding: 5px 10px; }
QPushButton:hover, QToolButton:hover { background: #343844; }
QPushButton:checked, QToolButton:checked { background: #2c3a66; border-color: #6d8cff; }
QPushButton:disabled, QToolButton:disabled { color: #5d606a; }
QPushButton[role="nav"] { text-align: left; border: none; background: transparent; padding: 8px 10px; }
QPushButton[role="nav"]:checked { background: #262a36; }
QPlainTextEdit, QLineEdit, QComboBox { background: #16171c; border: 1px solid #2f323c; border-radius: 8px; padding: 5px; selection-background-color: #3b4f99; }
QListWidget { background: transparent; border: none; }
QListWidget::item { padding: 6px; border-radius: 6px; }
QListWidget::item:selected { background: #2c3a66; }
QScrollArea { background: transparent; border: none; }
QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }
QScrollBar::handle:vertical { background: #3a3d48; border-radius: 3px; min-height: 24px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
QProgressBar { background: #2a2d35; border: none; border-radius: 3px; max-height: 6px; }
QProgressBar::chunk { background: #6d8cff; border-radius: 3px; }
)");
}

void makeEyebrow(QLabel& label) { setRole(label, "eyebrow"); }

void setRole(QWidget& widget, const char* role) {
    widget.setProperty("role", QString::fromLatin1(role));
    widget.style()->unpolish(&widget);
    widget.style()->polish(&widget);
}

}  // namespace vesk::ConsoleStyle

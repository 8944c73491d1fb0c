#pragma once

#include "ui/SidebarAttention.h"

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace vesk::ConsoleStyle {

// The console's dark palette.
inline const QColor kWindow{0x12, 0x13, 0x17};
inline const QColor kSidebar{0x18, 0x19, 0x1e};
inline const QColor kCard{0x1f, 0x21, 0x27};
inline const QColor kText{0xec, 0xec, 0xef};
inline const QColor kMuted{0x9a, 0x9c, 0xa6};
inline const QColor kAccent{0x6d, 0x8c, 0xff};
inline const QColor kOrange{0xff, 0x9f, 0x43};
inline const QColor kPurple{0xb3, 0x8c, 0xff};
inline const QColor kGreen{0x4c, 0xd9, 0x8a};
inline const QColor kRed{0xff, 0x5f, 0x57};
inline const QColor kYellow{0xff, 0xd4, 0x5c};

QColor tintColor(AttentionTint tint);

// The style sheet of the whole window; widgets pick their look by object name or by the
// "role" property ("card", "eyebrow", "muted", "title", "pill").
QString styleSheet();

// A small upper-case label above a group ("DRAFT", "WORD CHECK").
void makeEyebrow(QLabel& label);
void setRole(QWidget& widget, const char* role);

}  // namespace vesk::ConsoleStyle

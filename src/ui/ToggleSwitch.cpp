#include "ui/ToggleSwitch.h"

#include "ui/ConsoleStyle.h"

#include <QPainter>

namespace vesk {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QCheckBox(parent) {
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 2, -1, -2);
    QColor fill = isChecked() ? ConsoleStyle::kGreen : QColor(0x3a, 0x3d, 0x48);
    if (!isEnabled()) fill.setAlphaF(0.4);
    painter.setPen(hasFocus() ? QPen(ConsoleStyle::kAccent, 1.5) : Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf4, 0xf4, 0xf6));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

}  // namespace vesk

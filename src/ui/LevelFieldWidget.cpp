#include "ui/LevelFieldWidget.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace vesk {

LevelFieldWidget::LevelFieldWidget(AudioVisualModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("levelField");
    setMinimumSize(200, 120);
    connect(&model_, &AudioVisualModel::snapshotChanged, this, qOverload<>(&QWidget::update));
}

void LevelFieldWidget::paintEvent(QPaintEvent*) {
    const auto& snapshot = model_.snapshot();
    paintedLevel_ = snapshot.level;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    painter.fillRect(area, QColor(0x0d, 0x0e, 0x12));

    const QPointF centre = area.center();
    const double radius = std::min(area.width(), area.height()) * (0.18 + 0.32 * snapshot.level);
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0, QColor(0x6d, 0x8c, 0xff, 150));
    glow.setColorAt(0.6, QColor(0x8a, 0x5c, 0xff, 60));
    glow.setColorAt(1, QColor(0x8a, 0x5c, 0xff, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);

    const auto& wave = snapshot.waveform;
    const double midline = area.center().y();
    const double amplitude = area.height() * 0.32;
    QPainterPath path;
    if (wave.size() > 1) {
        for (size_t i = 0; i < wave.size(); ++i) {
            const QPointF point(area.left() + area.width() * double(i) / double(wave.size() - 1),
                                midline - amplitude * std::clamp(wave[i], -1.0f, 1.0f));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
    } else {
        path.moveTo(area.left(), midline);
        path.lineTo(area.right(), midline);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xc8, 0xd4, 0xff, 200), 1.6));
    painter.drawPath(path);

    // The level as a bar along the bottom, so silence and sound differ at a glance.
    const QRectF bar(area.left() + 16, area.bottom() - 10, (area.width() - 32) * snapshot.level, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4c, 0xd9, 0x8a));
    painter.drawRoundedRect(bar, 1.5, 1.5);
}

}  // namespace vesk

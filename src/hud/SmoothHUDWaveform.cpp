#include "hud/SmoothHUDWaveform.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vesk::SmoothHUDWaveform {

std::vector<float> displaySamples(std::span<const float> samples, int pointCount) {
    const std::size_t count = static_cast<std::size_t>(std::max(pointCount, 0));
    std::vector<float> values(count, 0.0f);
    const std::size_t n = samples.size();
    if (n == 0) return values;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = i * n / count;
        const std::size_t end = std::max(start + 1, std::min((i + 1) * n / count, n));
        double sum = 0;
        for (std::size_t k = start; k < end; ++k) sum += samples[k];
        values[i] = static_cast<float>(sum / static_cast<double>(end - start));
    }
    return values;
}

double deflection(float v) { return std::tanh(v * 5.8 / 0.82) * 0.82 * 0.44; }

void paint(QPainter& painter, const QRectF& canvas, std::span<const float> samples, const QColor& accent,
           int pointCount) {
    const auto values = displaySamples(samples, pointCount);
    if (values.size() < 2) return;
    const double w = canvas.width();
    const double h = canvas.height();
    const double midY = canvas.top() + h / 2;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor centre(Qt::white);
    centre.setAlphaF(0.08f);
    painter.setPen(QPen(centre, 1));
    painter.drawLine(QPointF(canvas.left(), midY), QPointF(canvas.right(), midY));

    const auto point = [&](std::size_t i) {
        return QPointF(canvas.left() + w * static_cast<double>(i) / static_cast<double>(values.size() - 1),
                       midY - h * deflection(values[i]));
    };
    QPainterPath path(point(0));
    for (std::size_t i = 1; i < values.size(); ++i) {
        const QPointF previous = point(i - 1);
        path.quadTo(previous, (previous + point(i)) / 2);
    }
    path.lineTo(point(values.size() - 1));

    const auto stroke = [&](double opacity, double width) {
        QColor colour = accent;
        colour.setAlphaF(static_cast<float>(opacity));
        QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pen.setMiterLimit(10);
        painter.strokePath(path, pen);
    };
    stroke(0.16, 6);    // glow
    stroke(0.94, 1.6);  // line
    painter.restore();
}

}  // namespace vesk::SmoothHUDWaveform

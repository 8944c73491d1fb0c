#include "visualization/MenuBarWaveformRenderer.h"

#include "visualization/SelfTestOutput.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vesk {

std::array<float, MenuBarWaveformRenderer::pointCount> MenuBarWaveformRenderer::displaySamples(
    std::span<const float> samples) {
    std::array<float, pointCount> values{};
    const std::size_t n = samples.size();
    if (n == 0) return values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t start = i * n / pointCount;
        const std::size_t end = std::max(start + 1, std::min((i + 1) * n / pointCount, n));
        float sum = 0.0f;
        for (std::size_t k = start; k < end; ++k) sum += samples[k];
        const float mean = sum / static_cast<float>(end - start);
        values[i] = std::tanh(mean * 5.8f / 0.78f) * 0.78f;
    }
    return values;
}

QImage MenuBarWaveformRenderer::image(std::span<const float> samples, qreal devicePixelRatio) {
    const auto values = displaySamples(samples);
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int pixels = static_cast<int>(std::lround(imageSize * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    image.setText("Description", accessibleDescription);

    QPainter painter(&image);
    if (!painter.isActive()) return image;
    painter.setRenderHint(QPainter::Antialiasing);

    // Qt's y grows downward, so upward deflection is a smaller y.
    const QRectF bounds(0, 0, imageSize, imageSize);
    const qreal centre = bounds.center().y();

    QPen centreLine(QColor::fromRgbF(0, 0, 0, 0.18f), 0.8);
    centreLine.setCapStyle(Qt::FlatCap);
    painter.setPen(centreLine);
    painter.drawLine(QPointF(1.2, centre), QPointF(bounds.right() - 1.2, centre));

    std::array<QPointF, pointCount> points;
    for (int i = 0; i < pointCount; ++i)
        points[i] = QPointF(i / 16.0 * (bounds.width() - 2.4) + 1.2, centre - values[i] * 6.4);
    QPainterPath path(points[0]);
    for (int i = 0; i + 1 < pointCount; ++i) path.quadTo(points[i], (points[i] + points[i + 1]) / 2.0);
    path.lineTo(points[pointCount - 1]);

    QPen stroke(Qt::black, 1.45, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(stroke);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    return image;
}

bool MenuBarWaveformRenderer::runSelfTest() {
    const auto silent = displaySamples({});
    const bool emptyIsFlat = std::all_of(silent.begin(), silent.end(), [](float v) { return v == 0.0f; });

    std::vector<float> wave(384);
    for (std::size_t k = 0; k < wave.size(); ++k) wave[k] = std::sin(0.19f * static_cast<float>(k)) * 0.22f;
    const auto values = displaySamples(wave);
    const bool rises = std::any_of(values.begin(), values.end(), [](float v) { return v > 0.15f; });
    const bool falls = std::any_of(values.begin(), values.end(), [](float v) { return v < -0.15f; });
    const bool bounded = std::all_of(values.begin(), values.end(), [](float v) { return std::fabs(v) <= 0.78f; });
    return selftest::report(emptyIsFlat && rises && falls && bounded, "menu-bar waveform rendering");
}

}  // namespace vesk

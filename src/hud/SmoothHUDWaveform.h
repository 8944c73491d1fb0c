#pragma once

#include <QColor>
#include <QRectF>

#include <span>
#include <vector>

class QPainter;

namespace vesk {

// The HUD's recording face: the latest waveform averaged down to a fixed number of points and
// stroked as a soft curve with a glow. Stateless; any thread that owns the painter.
namespace SmoothHUDWaveform {

inline constexpr int hudPointCount = 96;

// `pointCount` bin means of `samples` (zeros when there are none; short inputs repeat).
std::vector<float> displaySamples(std::span<const float> samples, int pointCount);

// The curve's height above the centre line for display value `v`, as a fraction of the
// canvas height: tanh(v * 5.8 / 0.82) * 0.82 * 0.44, so a full-scale sample reaches about 36 %.
double deflection(float v);

// Draws the centre line and the curve of `samples` into `canvas` with the accent colour.
void paint(QPainter& painter, const QRectF& canvas, std::span<const float> samples, const QColor& accent,
           int pointCount = hudPointCount);

}  // namespace SmoothHUDWaveform
}  // namespace vesk

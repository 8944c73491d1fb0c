#pragma once

#include <QImage>

#include <array>
#include <span>

namespace vesk {

// The menu-bar icon while the person speaks: a faint centre line and a smooth curve through
// 17 points of the latest waveform, drawn in black on transparency so the tray can tint it.
class MenuBarWaveformRenderer {
public:
    static constexpr int pointCount = 17;
    static constexpr int imageSize = 18;  // points, square
    // The image's "Description" text, read by assistive technology.
    static constexpr const char* accessibleDescription = "Project Vesk live waveform";

    // 17 slice means, soft-limited to +-0.78 with small signals boosted about 5.8 times.
    static std::array<float, pointCount> displaySamples(std::span<const float> samples);

    // An 18 x 18 point image (pixels scaled by `devicePixelRatio`), transparent except for
    // the drawing. Needs no application object: it draws no text.
    static QImage image(std::span<const float> samples, qreal devicePixelRatio = 1.0);

    // The built-in check; prints one PASS/FAIL line.
    static bool runSelfTest();
};

}  // namespace vesk

#include "visualization/MenuBarWaveformRenderer.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cmath>
#include <vector>

namespace vesk {
namespace {

using Renderer = MenuBarWaveformRenderer;

int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

TEST(MenuBarWaveformRenderer, DisplaySamplesSoftLimitSliceMeans) {
    const auto silent = Renderer::displaySamples({});
    for (float v : silent) EXPECT_EQ(v, 0.0f);

    const std::vector<float> fullScale(384, 1.0f);
    for (float v : Renderer::displaySamples(fullScale)) {
        EXPECT_FLOAT_EQ(v, std::tanh(7.44f) * 0.78f);
        EXPECT_LT(v, 0.78f);
    }

    // Five samples over 17 points: each point repeats one sample.
    const std::vector<float> few{0.01f, -0.02f, 0.03f, -0.04f, 0.05f};
    const auto spread = Renderer::displaySamples(few);
    for (std::size_t i = 0; i < spread.size(); ++i)
        EXPECT_FLOAT_EQ(spread[i], std::tanh(few[i * 5 / 17] * 5.8f / 0.78f) * 0.78f) << i;

    // 34 samples: each point is the mean of a pair.
    std::vector<float> pairs(34);
    for (std::size_t k = 0; k < pairs.size(); ++k) pairs[k] = k % 2 == 0 ? 0.1f : 0.0f;
    for (float v : Renderer::displaySamples(pairs)) EXPECT_FLOAT_EQ(v, std::tanh(0.05f * 5.8f / 0.78f) * 0.78f);
}

TEST(MenuBarWaveformRenderer, DrawsAnEighteenPointBlackTemplateWithoutAnApplication) {
    ASSERT_EQ(QGuiApplication::instance(), nullptr);
    const QImage image = Renderer::image({});
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(18, 18));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(image.text("Description"), "Project Vesk live waveform");

    int inked = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) {
            const QRgb pixel = image.pixel(x, y);
            EXPECT_EQ(qRed(pixel) | qGreen(pixel) | qBlue(pixel), 0) << "only black ink, at " << x << "," << y;
            inked += qAlpha(pixel) > 0;
        }
    EXPECT_GT(inked, 10);
    // A silent waveform is a flat curve on the centre line (rows 8 and 9 straddle y = 9).
    EXPECT_GT(alphaAt(image, 9, 8) + alphaAt(image, 9, 9), 200);
    EXPECT_EQ(alphaAt(image, 9, 3), 0);
    EXPECT_EQ(alphaAt(image, 9, 15), 0);

    const QImage dense = Renderer::image({}, 2.0);  // high-density screens get more pixels
    EXPECT_EQ(dense.size(), QSize(36, 36));
    EXPECT_EQ(dense.devicePixelRatio(), 2.0);
    EXPECT_GT(alphaAt(dense, 18, 17) + alphaAt(dense, 18, 18), 200);
}

TEST(MenuBarWaveformRenderer, SamplesDeflectByAboutFivePointsFromTheFirstToTheLastDisplayPoint) {
    const QImage image = Renderer::image(std::vector<float>(384, 1.0f));
    // The curve sits at y = 9 - 0.78 * 6.4, about 4.0: rows 3 and 4 carry it.
    EXPECT_GT(alphaAt(image, 9, 3) + alphaAt(image, 9, 4), 200);
    // The centre line stays, faint (alpha 0.18 at most).
    const int centre = std::max(alphaAt(image, 9, 8), alphaAt(image, 9, 9));
    EXPECT_GT(centre, 5);
    EXPECT_LE(centre, 47);
    // Nothing below the centre line.
    for (int y = 11; y < 18; ++y) EXPECT_EQ(alphaAt(image, 9, y), 0) << y;

    const QImage down = Renderer::image(std::vector<float>(384, -1.0f));
    EXPECT_GT(alphaAt(down, 9, 13) + alphaAt(down, 9, 14), 200);
    EXPECT_EQ(alphaAt(down, 9, 4), 0);

    // Up at the start, down at the end: the ends of the stroke sit at x = 1.2 and 16.8.
    std::vector<float> samples(17, 0.0f);
    samples.front() = 1.0f;
    samples.back() = -1.0f;
    const QImage ends = Renderer::image(samples);
    EXPECT_GT(alphaAt(ends, 1, 4) + alphaAt(ends, 1, 3), 100);
    EXPECT_GT(alphaAt(ends, 16, 13) + alphaAt(ends, 16, 14), 100);
    EXPECT_EQ(alphaAt(ends, 1, 14), 0);
    EXPECT_EQ(alphaAt(ends, 16, 4), 0);
}

}  // namespace
}  // namespace vesk

#include "hud/DictationHUDView.h"
#include "hud/SmoothHUDWaveform.h"
#include "ui/GuiDesktop.h"
#include "visualization/RealtimeModels.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using State = DictationHUDState;
using test::GuiTest;

const QColor kAccent = QColor::fromRgbF(1.0f, 0.43f, 0.1f);
constexpr QSize kCompact(168, 36);
constexpr QSize kExpanded(360, 78);

WaveformFrame constantFrame(float value) {
    WaveformFrame frame;
    frame.full.fill(value);
    return frame;
}

WaveformFrame sineFrame() {
    WaveformFrame frame;
    for (std::size_t k = 0; k < frame.full.size(); ++k) frame.full[k] = 0.12f * std::sin(0.05f * static_cast<float>(k));
    return frame;
}

class HUDViewTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        view_ = std::make_unique<DictationHUDView>(audio, state, kAccent);
    }

    AudioVisualModel audio;
    State state;
    std::unique_ptr<DictationHUDView> view_;

    QImage face(State::Phase phase, QSize size, qreal scale = 1.0) {
        state.setPhase(std::move(phase));
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view_->render(painter, size);
        return image;
    }
};

// The row in column `x` where the drawn line is brightest.
int brightestRow(const QImage& image, int x) {
    int best = 0;
    for (int y = 1; y < image.height(); ++y)
        if (image.pixelColor(x, y).red() > image.pixelColor(x, best).red()) best = y;
    return best;
}

TEST_F(HUDViewTest, WaveformDeflectsByTheSamplesSign) {
    // The canvas is the compact strip less 2 points top and bottom: 32 high, centred at 18.
    struct Row {
        const char* name;
        std::optional<float> sample;  // nothing: a silent frame
        double expectedDeflection;    // fraction of the canvas height, upward
    };
    const Row rows[] = {
        {"full scale up", 1.0f, 0.36},
        {"full scale down", -1.0f, -0.36},
        {"small", 0.05f, SmoothHUDWaveform::deflection(0.05f)},
        {"silent", std::nullopt, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        audio.update(row.sample ? 0.5f : 0.0f, row.sample ? constantFrame(*row.sample) : WaveformFrame::zero());
        const QImage image = face(State::Recording{}, kCompact);
        const double deflection = (18.0 - brightestRow(image, kCompact.width() / 2)) / 32.0;
        EXPECT_NEAR(deflection, row.expectedDeflection, 0.04);
    }
    // An empty list, not zeros: the model never publishes one, so the face draws it flat.
    EXPECT_EQ(SmoothHUDWaveform::displaySamples({}, 96), std::vector<float>(96, 0.0f));
}

TEST_F(HUDViewTest, ResultShowsTheStatusUpperCasedInTheAccent) {
    const QImage lower = face(State::Result{"Send the report to Dana.", "copied"}, kExpanded);
    const QImage upper = face(State::Result{"Send the report to Dana.", "COPIED"}, kExpanded);
    const QImage other = face(State::Result{"Send the report to Dana.", "pasted"}, kExpanded);
    EXPECT_EQ(lower, upper);
    EXPECT_NE(lower, other);
    // The status line, in the lower part of the column, is accent-coloured text.
    const auto accentText = [](QColor c) { return c.red() > 120 && c.red() > 2 * c.blue() && c.green() < c.red(); };
    EXPECT_GT(test::countPixels(lower, accentText, QRect(14, 50, 200, 20)), 20);
    // The text above it is white.
    const auto white = [](QColor c) { return c.red() > 150 && std::abs(c.red() - c.blue()) < 30; };
    EXPECT_GT(test::countPixels(lower, white, QRect(14, 9, 330, 20)), 40);
}

TEST_F(HUDViewTest, GlowBrightensWithTheLevel) {
    const auto edgeRed = [](const QImage& image) {
        long sum = 0;
        for (int y = 0; y < image.height(); ++y) sum += image.pixelColor(1, y).red();
        return sum;
    };
    audio.update(0.0f, WaveformFrame::zero());
    const long quiet = edgeRed(face(State::Processing{}, kExpanded));
    audio.update(1.0f, WaveformFrame::zero());
    const long loud = edgeRed(face(State::Processing{}, kExpanded));
    EXPECT_GT(loud, quiet * 1.5);
}

TEST_F(HUDViewTest, FacesDifferAndAreKeptAsArtefacts) {
    audio.update(0.4f, sineFrame());
    const std::pair<const char*, std::pair<State::Phase, QSize>> faces[] = {
        {"hud-recording", {State::Recording{}, kCompact}},
        {"hud-processing", {State::Processing{}, kExpanded}},
        {"hud-message", {State::Message{"Microphone access is needed to dictate."}, kExpanded}},
        {"hud-result",
         {State::Result{"Please summarise the meeting notes from Tuesday and list every open action item with its "
                        "owner, so nothing slips.",
                        "pasted"},
          kExpanded}},
    };
    std::vector<QImage> images;
    for (const auto& [name, phase] : faces) {
        images.push_back(face(phase.first, phase.second, 2.0));
        test::saveArtefact(images.back(), name);
    }
    for (std::size_t i = 1; i < images.size(); ++i) EXPECT_NE(images[i], images[i - 1]);
}

TEST_F(HUDViewTest, ANewPhaseCrossFadesWhileVisible) {
    view_->resize(kExpanded);
    view_->show();
    ASSERT_TRUE(test::spinUntil([&] { return view_->isVisible(); }));
    test::spinFor(50ms);
    state.setPhase(State::Message{"Hello."});
    EXPECT_TRUE(view_->isCrossFading());
    EXPECT_TRUE(test::spinUntil([&] { return !view_->isCrossFading(); }, 400ms));
    view_->hide();
    state.setPhase(State::Processing{});
    EXPECT_FALSE(view_->isCrossFading());
}

}  // namespace
}  // namespace vesk

#include "visualization/FieldSimulation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace vesk {
namespace {

FieldColor colorOf(const RenderPoint& point) { return {point.color[0], point.color[1], point.color[2]}; }

// A quiet frame whose particles are replaced by one test particle.
FieldFrame frameWithParticle(float px, float py, float vx, float vy) {
    FieldFrame frame;
    frame.particles = {Particle{{px, py}, {vx, vy}, {0.5f, 0.7f, 0.3f}}};
    return frame;
}

constexpr std::size_t guidesGlowAndRings = 480 + 153 + 34 + 4 + 432;
constexpr std::size_t waveformTrace = 383 * 4 * 3;
constexpr std::size_t spectrumTrace = 191 * 4 * 6;

TEST(FieldSeeding, TheSwarmFillsBothHalvesOfTheBandAtRest) {
    const FieldFrame frame = FieldFrame::seeded();
    ASSERT_EQ(frame.particles.size(), 1152u);
    int above = 0;
    for (const Particle& p : frame.particles) {
        EXPECT_LE(std::fabs(p.position[0]), 0.96f);
        EXPECT_LE(std::fabs(p.position[1]), 0.72f);
        EXPECT_LE(std::fabs(p.velocity[0]), 0.006f);
        EXPECT_LE(std::fabs(p.velocity[1]), 0.006f);
        for (float s : p.seed) EXPECT_TRUE(s >= 0.0f && s < 1.0f);
        above += p.position[1] > 0;
    }
    // Both halves of the band are populated.
    EXPECT_GT(above, 400);
    EXPECT_LT(above, 752);
    EXPECT_NE(seededParticle(1).position, seededParticle(2).position);
}

TEST(FieldHelpers, SampleValueInterpolatesAndClamps) {
    const std::vector<float> values{0.0f, 1.0f, 3.0f};
    for (const auto& [at, expected] :
         {std::pair{0.25f, 0.5f}, {0.75f, 2.0f}, {1.0f, 3.0f}, {7.0f, 3.0f}, {-1.0f, 0.0f}})
        EXPECT_FLOAT_EQ(sampleValue(values, at), expected) << at;
    EXPECT_EQ(sampleValue({}, 0.5f), 0.0f);
    EXPECT_FLOAT_EQ(sampleValue(std::vector<float>{0.4f}, 0.9f), 0.4f);

    FieldFrame frame;
    frame.wave = {0.0f, 1.0f};
    EXPECT_FLOAT_EQ(frame.waveValue(1.0f), 0.9999f) << "the wave is read short of its end";
    EXPECT_FLOAT_EQ(frame.waveShape(0.0f), 0.0f);
}

TEST(FieldHelpers, TrackWaveEasesTowardTheResampledInput) {
    std::vector<float> displayed(5, 0.0f);
    const std::vector<float> input{0.0f, 1.0f};
    trackWave(displayed, input, 1.0f);
    EXPECT_EQ(displayed, (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
    trackWave(displayed, std::vector<float>{}, 0.5f);  // nothing in: ease toward 0
    EXPECT_EQ(displayed, (std::vector<float>{0.0f, 0.125f, 0.25f, 0.375f, 0.5f}));
    std::vector<float> single{0.0f};
    trackWave(single, input, 0.5f);  // one entry reads the input's start
    EXPECT_EQ(single[0], 0.0f);
}

TEST(FieldHelpers, BandEnergiesAreRootMeanSquaresOfThirds) {
    FieldFrame frame;
    std::fill(frame.spectrumWave.begin(), frame.spectrumWave.begin() + 64, 0.5f);
    for (std::size_t i = 128; i < 192; ++i) frame.spectrumWave[i] = i % 2 == 0 ? 0.3f : 0.4f;
    EXPECT_FLOAT_EQ(frame.bass(), 0.5f);
    EXPECT_FLOAT_EQ(frame.mids(), 0.0f);
    EXPECT_NEAR(frame.highs(), std::sqrt(0.125f), 1e-6);
    EXPECT_FLOAT_EQ(frame.spectrumBandEnergy(0.999f, 1.0f), frame.spectrumWave[191]) << "at least one entry";
    frame.spectrumWave.clear();
    EXPECT_EQ(frame.bass(), 0.0f);
    EXPECT_EQ(frame.envelope(0.5f), 0.0f);
}

TEST(FieldSimulation, DtIsClampedBetweenOneHundredTwentiethAndOneThirtiethOfASecond) {
    FieldSimulation field(100.0);
    field.advance(102.0);  // after a 2 s pause
    EXPECT_FLOAT_EQ(field.frame().elapsed, 1.0f / 30.0f);
    field.advance(102.001);  // 1 ms later
    EXPECT_FLOAT_EQ(field.frame().elapsed, 1.0f / 30.0f + 1.0f / 120.0f);
    field.advance(102.001 + 1.0 / 60.0);
    EXPECT_NEAR(field.frame().elapsed, 1.0f / 30.0f + 1.0f / 120.0f + 1.0f / 60.0f, 1e-6);
}

TEST(FieldSimulation, LevelRisesFastAndFallsSlowly) {
    FieldSimulation field(0.0);
    field.update({}, {}, 1.0f, fieldRecording);
    field.advance(1.0 / 60.0);
    const float risen = field.frame().displayedLevel;
    EXPECT_NEAR(risen, 1.0f - std::exp(-0.3f), 1e-5);  // about 26 %
    field.update({}, {}, 0.0f, fieldRecording);
    field.advance(2.0 / 60.0);
    EXPECT_NEAR(field.frame().displayedLevel, risen * std::exp(-5.5f / 60.0f), 1e-5);  // about 9 % down
}

TEST(FieldSimulation, InputsAreClampedBeforeTheyAreDrawn) {
    FieldSimulation field(0.0);
    field.update(std::vector<float>(384, 2.0f), std::vector<float>(192, -3.0f), 7.0f, fieldRecording);
    double now = 0;
    for (int i = 0; i < 240; ++i) field.advance(now += 1.0 / 60.0);
    const FieldFrame& frame = field.frame();
    EXPECT_NEAR(frame.displayedLevel, 1.0f, 1e-4);
    EXPECT_NEAR(frame.wave[100], 1.0f, 1e-4);
    EXPECT_NEAR(frame.spectrumWave[100], 0.0f, 1e-4);

    field.update(std::vector<float>(384, std::nanf("")), {}, std::nanf(""), fieldRecording);
    for (int i = 0; i < 10; ++i) field.advance(now += 1.0 / 60.0);
    EXPECT_TRUE(std::isfinite(field.frame().displayedLevel));
    EXPECT_TRUE(std::isfinite(field.frame().wave[100]));
    EXPECT_TRUE(std::isfinite(field.frame().particles[0].position[1]));
}

TEST(FieldSimulation, ParticlesWrapSidewaysReturnHomeAndSwirlWhileProcessing) {
    // Past either side a particle wraps to the other, keeping its velocity.
    for (const float side : {1.0f, -1.0f}) {
        FieldFrame frame = frameWithParticle(1.015f * side, 0.1f, side, 0.0f);
        simulateParticles(frame, 0.0f, fieldIdle, 1.0f / 60.0f);
        EXPECT_EQ(frame.particles[0].position[0], -1.02f * side) << side;
        EXPECT_GT(frame.particles[0].velocity[0] * side, 0.9f) << side;
    }
    // Leaving the band, it returns to its home height and bounces softly.
    FieldFrame leaving = frameWithParticle(0.0f, 0.95f, 0.0f, 3.0f);
    simulateParticles(leaving, 0.0f, fieldIdle, 1.0f / 60.0f);
    EXPECT_LT(std::fabs(leaving.particles[0].position[1]), 0.2f);
    EXPECT_LT(leaving.particles[0].velocity[1], 0.0f);
    EXPECT_GT(leaving.particles[0].velocity[1], -0.6f);
    // Processing stirs a vortex: at (0.5, 0) it pushes up and pulls left.
    FieldFrame idle = frameWithParticle(0.5f, 0.0f, 0.0f, 0.0f);
    FieldFrame processing = idle;
    simulateParticles(idle, 0.0f, fieldIdle, 1.0f / 60.0f);
    simulateParticles(processing, 0.0f, fieldProcessing, 1.0f / 60.0f);
    EXPECT_GT(processing.particles[0].velocity[1], idle.particles[0].velocity[1]);
    EXPECT_LT(processing.particles[0].velocity[0], idle.particles[0].velocity[0]);
}

TEST(FieldRenderPoints, ASilentSpectrumAddsNoTracePointsAndALoudOneAddsAllOfThem) {
    FieldFrame frame = FieldFrame::seeded();
    const auto silent = makeRenderPoints(frame, 0.0f, fieldIdle);
    EXPECT_EQ(silent.size(), guidesGlowAndRings + waveformTrace + 1152);

    std::fill(frame.spectrumWave.begin(), frame.spectrumWave.end(), 1.0f);
    const auto loud = makeRenderPoints(frame, 1.0f, fieldRecording);
    EXPECT_EQ(loud.size(), silent.size() + spectrumTrace);
}

TEST(FieldRenderPoints, ComeInDrawingOrder) {
    FieldFrame frame = FieldFrame::seeded();
    std::fill(frame.spectrumWave.begin(), frame.spectrumWave.end(), 0.5f);
    const auto points = makeRenderPoints(frame, 0.4f, fieldRecording);
    const FieldPalette palette = fieldPalette(fieldRecording);

    // Guide lines first: the lowest line at y = -0.66, starting at the left edge.
    EXPECT_FLOAT_EQ(points[0].positionAndSize[0], -0.985f);
    EXPECT_FLOAT_EQ(points[0].positionAndSize[1], -0.66f);
    EXPECT_EQ(colorOf(points[0]), palette.a);
    // The central glow follows the guides, grid and dotted rows.
    const RenderPoint& glow = points[480 + 153 + 34];
    EXPECT_EQ(glow.positionAndSize[0], 0.0f);
    EXPECT_EQ(glow.positionAndSize[1], 0.0f);
    EXPECT_GT(glow.positionAndSize[2], 400.0f);
    // The first ring starts with a bead in colour B.
    const RenderPoint& bead = points[480 + 153 + 34 + 4];
    EXPECT_EQ(colorOf(bead), palette.b);
    EXPECT_FLOAT_EQ(bead.positionAndSize[2], 3.6f);
    // The spectrum trace mirrors: three points below, then the same three above.
    const std::size_t trace = guidesGlowAndRings;
    EXPECT_LT(points[trace].positionAndSize[1], 0.0f);
    EXPECT_FLOAT_EQ(points[trace + 3].positionAndSize[1], -points[trace].positionAndSize[1]);
    EXPECT_EQ(colorOf(points[trace + 2]), (FieldColor{1.0f, 0.96f, 0.88f}));
    EXPECT_EQ(colorOf(points[trace]), palette.c) << "the trace starts in the deep colour";
    // Particles last, at their own positions; every 17th is a bead in colour B.
    const std::size_t firstParticle = points.size() - 1152;
    EXPECT_EQ(points[firstParticle].positionAndSize[0], frame.particles[0].position[0]);
    EXPECT_EQ(points[firstParticle + 5].positionAndSize[1], frame.particles[5].position[1]);
    EXPECT_EQ(colorOf(points[firstParticle]), palette.b);
    for (const RenderPoint& p : points) EXPECT_EQ(p.positionAndSize[3], 0.0f);
}

TEST(FieldRenderPoints, ColoursFollowTheStateFromTheNextFrame) {
    EXPECT_EQ(fieldPalette(42), fieldPalette(fieldIdle));
    EXPECT_NE(fieldPalette(fieldProcessing), fieldPalette(fieldRecording));

    FieldSimulation field(0.0);
    auto points = field.advance(1.0 / 60.0);
    EXPECT_EQ(colorOf(points[0]), fieldPalette(fieldIdle).a);
    field.update({}, {}, 0.0f, fieldRecording);
    points = field.advance(2.0 / 60.0);
    EXPECT_EQ(colorOf(points[0]), fieldPalette(fieldRecording).a);
}

TEST(FieldSimulation, UpdatesFromAnotherThreadWhileFramesAreDrawn) {
    FieldSimulation field(0.0);
    std::atomic<bool> done{false};
    std::thread main([&] {
        std::vector<float> samples(384), spectrum(192);
        for (int i = 0; !done; ++i) {
            std::fill(samples.begin(), samples.end(), (i % 10) / 10.0f);
            std::fill(spectrum.begin(), spectrum.end(), (i % 7) / 7.0f);
            field.update(samples, spectrum, (i % 5) / 5.0f, i % 4);
        }
    });
    double now = 0;
    std::size_t points = 0;
    for (int frame = 0; frame < 30; ++frame) points = field.advance(now += 1.0 / 60.0).size();
    done = true;
    main.join();
    EXPECT_GE(points, guidesGlowAndRings + waveformTrace + 1152);
}

}  // namespace
}  // namespace vesk

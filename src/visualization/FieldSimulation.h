#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <span>
#include <vector>

namespace vesk {

// The console's "field": 1152 glowing particles drifting around the live waveform, three
// rotating rings (bass, mids, highs), a mirrored spectrum trace, a smoothed waveform trace,
// guide lines and a central glow, all as additive point sprites in normalised device
// coordinates. This is everything but the GPU: the OpenGL widget draws the points.

// Application state codes as the field reads them; any other code looks idle.
enum FieldStateCode : int { fieldIdle = 0, fieldRecording = 1, fieldProcessing = 2, fieldReady = 3 };

struct Particle {
    std::array<float, 2> position{};
    std::array<float, 2> velocity{};
    std::array<float, 3> seed{};  // each in 0...1
};

// The vertex record the shaders read: x, y, point size in pixels, 0; then red, green, blue,
// alpha.
struct RenderPoint {
    std::array<float, 4> positionAndSize{};
    std::array<float, 4> color{};
};
static_assert(sizeof(RenderPoint) == 32, "the vertex layout is two vec4s");

struct FieldColor {
    float red = 0;
    float green = 0;
    float blue = 0;
    friend bool operator==(const FieldColor&, const FieldColor&) = default;
};

// Three colours per state: A (main), B (highlight), C (deep).
struct FieldPalette {
    FieldColor a, b, c;
    friend bool operator==(const FieldPalette&, const FieldPalette&) = default;
};

FieldPalette fieldPalette(int stateCode);

constexpr std::size_t fieldParticleCount = 1152;
constexpr std::size_t fieldWaveCount = 384;
constexpr std::size_t fieldSpectrumCount = 192;

// The seeding hash: fract(sin(n * 12.9898) * 43758.547) in single precision.
float fieldHash(float n);
Particle seededParticle(std::size_t k);

// Linear interpolation in `values` at position t in 0...1 (clamped); 0 for no values.
float sampleValue(std::span<const float> values, float t);
// Eases every entry of `displayed` toward `input` resampled to its length.
void trackWave(std::span<float> displayed, std::span<const float> input, float blend);

// What the field draws from, touched only by the drawing side.
struct FieldFrame {
    std::vector<float> wave = std::vector<float>(fieldWaveCount, 0.0f);
    std::vector<float> spectrumWave = std::vector<float>(fieldSpectrumCount, 0.0f);
    std::vector<Particle> particles;  // seeded 1152 by `seeded()`
    float displayedLevel = 0;
    float elapsed = 0;  // animation clock, seconds

    static FieldFrame seeded();

    float waveValue(float t) const;
    // Root mean square of the spectrum between fractions a and b of its length.
    float spectrumBandEnergy(float a, float b) const;
    float bass() const { return spectrumBandEnergy(0.0f, 1.0f / 3.0f); }
    float mids() const { return spectrumBandEnergy(1.0f / 3.0f, 2.0f / 3.0f); }
    float highs() const { return spectrumBandEnergy(2.0f / 3.0f, 1.0f); }
    // The spectrum's envelope and the waveform's shape at horizontal position u in 0...1.
    float envelope(float u) const;
    float waveShape(float u) const;
};

// Advances every particle by dt seconds.
void simulateParticles(FieldFrame& frame, float level, int stateCode, float dt);
// The frame's points, in drawing order: guide lines, dot grid, dotted rows, central glow,
// rings, spectrum trace, waveform trace, particles.
std::vector<RenderPoint> makeRenderPoints(const FieldFrame& frame, float level, int stateCode);

// The field renderer without its GPU calls. `update` may be called from the main thread while
// `advance` runs on the drawing thread; only the four inputs are shared, under a lock.
class FieldSimulation {
public:
    // `creationTime` and every `now` are seconds of one monotonic clock.
    explicit FieldSimulation(double creationTime);

    // New inputs: samples clamped to -1...1, spectrum to 0...1, level to 0...1.
    void update(std::span<const float> samples, std::span<const float> spectrum, float level, int stateCode);

    // One display frame at `now`: dt is clamped to 1/120...1/30 s so a pause never makes the
    // field jump; level, waveform and spectrum are eased, the particles move, and the points
    // to draw come back (never empty: the guide lines are always there).
    std::vector<RenderPoint> advance(double now);

    const FieldFrame& frame() const { return frame_; }

private:
    std::mutex lock_;
    std::vector<float> inputSamples_ = std::vector<float>(fieldWaveCount, 0.0f);
    std::vector<float> inputSpectrum_ = std::vector<float>(fieldSpectrumCount, 0.0f);
    float inputLevel_ = 0;
    int lifecycle_ = fieldIdle;

    FieldFrame frame_ = FieldFrame::seeded();
    double lastFrameTime_;
    // Copies of the inputs taken each frame, kept to avoid reallocating.
    std::vector<float> samplesCopy_, spectrumCopy_;
};

}  // namespace vesk

#include "visualization/FieldSimulation.h"

#include "visualization/DisplayClamp.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vesk {

namespace {

constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;

float fract(float x) { return x - std::floor(x); }

RenderPoint point(float x, float y, float size, FieldColor color, float alpha) {
    return RenderPoint{{x, y, size, 0.0f}, {color.red, color.green, color.blue, alpha}};
}

FieldColor mix(FieldColor from, FieldColor to, float amount) {
    return {from.red + (to.red - from.red) * amount, from.green + (to.green - from.green) * amount,
            from.blue + (to.blue - from.blue) * amount};
}

float catmullRom(float p0, float p1, float p2, float p3, float q) {
    return 0.5f * (2.0f * p1 + (p2 - p0) * q + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * q * q +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * q * q * q);
}

// The curve through `values` between entries i and i + 1 at fraction q, ends repeated.
float curveAt(std::span<const float> values, std::size_t i, float q) {
    const std::size_t n = values.size();
    return catmullRom(values[i == 0 ? 0 : i - 1], values[i], values[i + 1], values[std::min(i + 2, n - 1)], q);
}

constexpr float segmentSteps[] = {0.0f, 0.25f, 0.5f, 0.75f};

}  // namespace

FieldPalette fieldPalette(int stateCode) {
    switch (stateCode) {
        case fieldRecording: return {{1.0f, 0.471f, 0.286f}, {1.0f, 0.87f, 0.65f}, {0.86f, 0.24f, 0.07f}};
        case fieldProcessing: return {{0.616f, 0.525f, 1.0f}, {0.86f, 0.82f, 1.0f}, {0.35f, 0.26f, 0.75f}};
        case fieldReady: return {{0.365f, 0.882f, 0.8f}, {0.82f, 1.0f, 0.94f}, {0.08f, 0.58f, 0.44f}};
        default: return {{0.365f, 0.882f, 0.8f}, {0.86f, 1.0f, 0.96f}, {0.08f, 0.5f, 0.42f}};
    }
}

float fieldHash(float n) { return fract(std::sin(n * 12.9898f) * 43758.547f); }

Particle seededParticle(std::size_t k) {
    const auto h = [k](std::size_t multiplier, std::size_t offset) {
        return fieldHash(static_cast<float>(multiplier * k + offset));
    };
    Particle particle;
    const float height = std::pow(h(13, 5), 1.35f) * 0.72f;
    particle.position = {h(7, 11) * 1.92f - 0.96f, h(17, 23) > 0.5f ? height : -height};
    particle.velocity = {(h(19, 3) - 0.5f) * 0.012f, (h(29, 9) - 0.5f) * 0.012f};
    particle.seed = {h(31, 2), h(37, 7), h(41, 13)};
    return particle;
}

float sampleValue(std::span<const float> values, float t) {
    if (values.empty()) return 0.0f;
    const float p = std::clamp(t, 0.0f, 1.0f) * static_cast<float>(values.size() - 1);
    const std::size_t i = static_cast<std::size_t>(std::floor(p));
    const std::size_t j = std::min(i + 1, values.size() - 1);
    return values[i] + (p - static_cast<float>(i)) * (values[j] - values[i]);
}

void trackWave(std::span<float> displayed, std::span<const float> input, float blend) {
    const std::size_t m = displayed.size();
    for (std::size_t i = 0; i < m; ++i) {
        const float t = m < 2 ? 0.0f : static_cast<float>(i) / static_cast<float>(m - 1);
        displayed[i] += blend * (sampleValue(input, t) - displayed[i]);
    }
}

FieldFrame FieldFrame::seeded() {
    FieldFrame frame;
    frame.particles.reserve(fieldParticleCount);
    for (std::size_t k = 0; k < fieldParticleCount; ++k) frame.particles.push_back(seededParticle(k));
    return frame;
}

float FieldFrame::waveValue(float t) const { return sampleValue(wave, std::clamp(t, 0.0f, 0.9999f)); }

float FieldFrame::spectrumBandEnergy(float a, float b) const {
    const std::size_t n = spectrumWave.size();
    if (n == 0) return 0.0f;
    const auto last = static_cast<long>(n - 1);
    const auto start = static_cast<std::size_t>(std::clamp(static_cast<long>(std::floor(a * n)), 0L, last));
    const auto end = std::max(std::min(static_cast<std::size_t>(std::max(std::floor(b * n), 0.0f)), n), start + 1);
    float sum = 0.0f;
    for (std::size_t i = start; i < end; ++i) sum += spectrumWave[i] * spectrumWave[i];
    return std::sqrt(sum / static_cast<float>(end - start));
}

float FieldFrame::envelope(float u) const {
    const float value = std::clamp(sampleValue(spectrumWave, u), 0.0f, 1.0f);
    return std::tanh(std::pow(value, 1.18f) * 0.82f / 0.62f);
}

float FieldFrame::waveShape(float u) const { return std::tanh(waveValue(u) * 5.2f / 0.54f); }

void simulateParticles(FieldFrame& frame, float level, int stateCode, float dt) {
    const float bass = frame.bass();
    const float mids = frame.mids();
    const float highs = frame.highs();
    const bool rec = stateCode == fieldRecording;
    const bool processing = stateCode == fieldProcessing;
    const float L = level;

    const float dampingBase = stateCode == fieldReady ? 0.955f : 0.978f;
    const float lift = rec ? 0.03f : 0.022f;
    const float swirl = rec ? mids * 0.1f + 0.045f : mids * 0.05f + 0.02f;
    const float shear = rec ? 0.52f : 0.34f;
    const float spring = rec ? 4.4f : 3.1f;
    const float drift = rec ? L * 0.05f + 0.032f + mids * 0.022f : L * 0.026f + 0.017f;
    const float spectrumGain = rec ? 0.18f : 0.08f;
    const float highGain = rec ? 0.08f : 0.04f;
    const float jitter = rec ? L * 0.12f + 0.04f : L * 0.07f + 0.02f;
    const float bassGain = rec ? 0.12f : 0.06f;
    const float damp = std::pow(dampingBase, dt * 60.0f);
    const float elapsed = frame.elapsed;

    for (Particle& particle : frame.particles) {
        float& px = particle.position[0];
        float& py = particle.position[1];
        float& vx = particle.velocity[0];
        float& vy = particle.velocity[1];
        const auto [s0, s1, s2] = particle.seed;

        const float u = (px + 1.0f) * 0.5f;
        const float spectrumValue = sampleValue(frame.spectrumWave, u);
        const float side = s1 > 0.5f ? 1.0f : -1.0f;
        const float spread = std::pow(2.0f * std::fabs(s1 - 0.5f), 1.35f);
        const float envelope = frame.envelope(u);
        const float homeY = frame.waveShape(u) * 0.54f * 0.07f +
                            side * ((L * 0.035f + 0.045f) * spread + lift + envelope * 0.62f * (spread * 0.68f + 0.3f));
        const float slope = (frame.envelope(u + 0.008f) * 0.62f - frame.envelope(u - 0.008f) * 0.62f) / 0.016f;

        const float a1 = std::sin(s2 * 18.0f + (s0 * 0.4f + 0.34f) * elapsed);
        const float a2 = std::sin(px * 5.8f - py * 7.2f + (s2 + 0.7f) * elapsed);
        const float a3 = std::cos(s0 * 9.0f + px * 7.4f + elapsed);

        float ax = ((s2 * 0.58f + 0.42f) * drift - vx) * 0.72f + a1 * 0.01f + swirl * a2;
        float ay = bass * (s0 - 0.5f) * bassGain + (homeY - py) * spring + shear * side * slope * vx +
                   a3 * (highs * highGain + jitter + spectrumValue * spectrumGain);
        if (processing) {
            // A slow vortex pulled toward the centre.
            const float r = std::max(std::sqrt(px * px + py * py), 0.08f);
            ax += -py / r * 0.18f - px * 0.06f;
            ay += px / r * 0.18f - py * 0.06f;
        }

        vx = (vx + ax * dt) * damp;
        vy = (vy + ay * dt) * damp;
        px += vx * dt;
        py += vy * dt;

        if (px > 1.02f)
            px = -1.02f;
        else if (px < -1.02f)
            px = 1.02f;
        if (std::fabs(py) > 0.96f) {
            py = homeY;
            vy *= -0.18f;
        }
    }
}

namespace {

void appendGuides(std::vector<RenderPoint>& points, const FieldPalette& palette) {
    for (int k = -3; k <= 3; ++k) {
        const float y = 0.22f * static_cast<float>(k);
        for (int i = 0; i < 240; ++i) {
            const float x = static_cast<float>(i) / 239.0f * 1.97f - 0.985f;
            if (k == 0) {
                if (i % 2 == 0) points.push_back(point(x, y, 1.15f, palette.a, 0.095f));
            } else if (i % 4 == 0) {
                points.push_back(point(x, y, 0.82f, palette.a, 0.038f));
            }
        }
    }
    for (int c = 0; c <= 16; ++c) {
        const float x = static_cast<float>(c) / 16.0f * 1.97f - 0.985f;
        const bool major = c % 4 == 0;
        for (int r = 0; r <= 16; r += 2) {
            const float y = static_cast<float>(r) / 16.0f * 1.6f - 0.8f;
            points.push_back(point(x, y, major ? 1.45f : 1.0f, palette.a, major ? 0.075f : 0.035f));
        }
    }
    for (const float y : {-0.3283f, 0.3283f})
        for (int i = 0; i <= 32; i += 2)
            points.push_back(point(static_cast<float>(i) / 32.0f * 1.44f - 0.72f, y, 1.05f, palette.a, 0.06f));
}

void appendSpectrumTrace(std::span<const float> values, FieldColor lowColor, FieldColor midColor, FieldColor highColor,
                         float energy, std::vector<RenderPoint>& points) {
    const std::size_t n = values.size();
    if (n < 2) return;
    const FieldColor coreColor{1.0f, 0.96f, 0.88f};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (const float q : segmentSteps) {
            const float v = std::clamp(curveAt(values, i, q), 0.0f, 1.0f);
            const float h = std::tanh(std::pow(v, 1.18f) * 0.82f / 0.62f) * 0.62f;
            if (!(h > 0.001f)) continue;
            const float f = (static_cast<float>(i) + q) / static_cast<float>(n - 1);
            const FieldColor color = f < 0.5f ? mix(lowColor, midColor, std::min(2.0f * f, 1.0f))
                                              : mix(midColor, highColor, std::min(2.0f * (f - 0.5f), 1.0f));
            const float x = f * 1.97f - 0.985f;
            for (const float y : {-h, h}) {
                points.push_back(point(x, y, v * 12.0f + 22.0f, color, energy * 0.015f + v * 0.05f + 0.018f));
                points.push_back(point(x, y, v * 1.6f + 3.0f, color, v * 0.3f + 0.36f));
                points.push_back(point(x, y, v * 0.35f + 0.95f, coreColor, v * 0.22f + 0.7f));
            }
        }
    }
}

}  // namespace

std::vector<RenderPoint> makeRenderPoints(const FieldFrame& frame, float level, int stateCode) {
    const FieldPalette palette = fieldPalette(stateCode);
    const bool rec = stateCode == fieldRecording;
    const float L = level;
    const float bass = frame.bass();
    const float mids = frame.mids();
    const float highs = frame.highs();
    const float peak = std::max({bass, mids, highs, L});
    const float elapsed = frame.elapsed;

    std::vector<RenderPoint> points;
    points.reserve(frame.particles.size() + 12 * frame.wave.size() + 24 * frame.spectrumWave.size() + 1600);

    appendGuides(points, palette);

    // Central glow.
    const float pulse =
        (rec ? 0.07f : 0.045f) * bass + L * (rec ? 0.14f : 0.09f) + std::sin(elapsed * 1.7f) * 0.018f + 1.0f;
    points.push_back(point(0, 0, pulse * 430.0f, palette.a, rec ? peak * 0.08f + 0.14f : peak * 0.045f + 0.095f));
    points.push_back(point(0, 0, pulse * 260.0f, palette.a, rec ? peak * 0.13f + 0.28f : 0.19f));
    points.push_back(point(0, 0, pulse * 118.0f, palette.b, rec ? peak * 0.16f + 0.48f : 0.35f));
    points.push_back(point(0, 0, pulse * 30.0f, palette.b, rec ? 0.9f : 0.72f));

    // Rings: bass, mids, highs.
    const float energies[] = {bass, mids, highs};
    const FieldColor ringColors[] = {palette.c, palette.a, palette.b};
    const float g = rec ? 0.15f : 0.08f;
    for (int r = 0; r < 3; ++r) {
        const float fr = static_cast<float>(r);
        const float energy = energies[r];
        const float amp = energy * 0.018f + 0.004f;
        const float radius = fr * 0.13f + 0.22f;
        const float rotation = (fr * 0.055f + 0.1f) * (r % 2 == 1 ? -elapsed : elapsed);
        const int beadEvery = 18 - 3 * r;
        for (int j = 0; j < 144; ++j) {
            const float theta = static_cast<float>(j) / 144.0f * twoPi + rotation;
            const float wobble = amp * std::sin((fr * 0.16f + 0.52f) * elapsed + theta * (fr + 2.0f));
            const float x = std::cos(theta) * (g * energy + radius + wobble);
            const float y = std::sin(theta) * (fr * 0.055f + 0.78f) * (g * energy + radius + wobble * 0.82f) +
                            frame.waveShape(std::clamp((x + 0.9f) / 1.8f, 0.0f, 0.9999f)) * 0.54f * 0.12f;
            if (j % beadEvery == 0)
                points.push_back(point(x, y, 3.6f - 0.35f * fr, palette.b, energy * 0.2f + 0.56f));
            else
                points.push_back(point(x, y, 1.6f, ringColors[r], energy * 0.24f + 0.16f));
        }
    }

    appendSpectrumTrace(frame.spectrumWave, palette.c, palette.a, palette.b, peak, points);

    // Waveform trace.
    const std::size_t waveCount = frame.wave.size();
    if (waveCount > 1) {
        for (std::size_t i = 0; i + 1 < waveCount; ++i) {
            for (const float q : segmentSteps) {
                const float y = std::tanh(curveAt(frame.wave, i, q) * 5.2f / 0.54f) * 0.54f;
                const float m = std::min(std::fabs(y) / 0.54f, 1.0f);
                const float x = (static_cast<float>(i) + q) / static_cast<float>(waveCount - 1) * 1.97f - 0.985f;
                points.push_back(point(x, y, 7.0f + 2.45f * m, palette.a, peak * 0.01f + 0.008f));
                points.push_back(point(x, y, 0.85f + 0.65f * m, palette.a, peak * 0.08f + 0.16f));
                points.push_back(point(x, y, 0.75f, palette.b, 0.34f));
            }
        }
    }

    // Particles.
    for (std::size_t p = 0; p < frame.particles.size(); ++p) {
        const Particle& particle = frame.particles[p];
        const float px = particle.position[0];
        const float py = particle.position[1];
        const float s2 = particle.seed[2];
        const float u = (px + 1.0f) * 0.5f;
        const float spectrumValue = sampleValue(frame.spectrumWave, u);
        // 1 on the spectrum envelope, falling off with the distance from it.
        const float closeness = std::max(1.0f - 2.8f * std::fabs(std::fabs(py) - 0.62f * frame.envelope(u)), 0.1f);
        const float twinkle = s2 * 0.6f + 0.4f;
        const bool bead = p % 17 == 0;
        float size = (bead ? 3.2f : 1.25f) * twinkle + closeness * 1.4f + spectrumValue * (rec ? 1.8f : 0.85f);
        if (bead) {
            size += highs * 1.4f;
            const float alpha = spectrumValue * (rec ? 0.16f : 0.07f) + closeness * 0.24f + 0.62f + highs * 0.12f;
            points.push_back(point(px, py, size, palette.b, alpha));
        } else {
            size += highs * 0.35f;
            const FieldColor color = u < 1.0f / 3.0f ? palette.c : u < 2.0f / 3.0f ? palette.a : palette.b;
            const float alpha =
                twinkle * 0.11f + 0.18f + closeness * 0.24f + spectrumValue * (rec ? 0.16f : 0.07f) + highs * 0.03f;
            points.push_back(point(px, py, size, color, alpha));
        }
    }
    return points;
}

FieldSimulation::FieldSimulation(double creationTime) : lastFrameTime_(creationTime) {}

void FieldSimulation::update(std::span<const float> samples, std::span<const float> spectrum, float level,
                             int stateCode) {
    std::vector<float> clampedSamples(samples.size());
    std::transform(samples.begin(), samples.end(), clampedSamples.begin(),
                   [](float v) { return clampForDisplay(v, -1.0f, 1.0f); });
    std::vector<float> clampedSpectrum(spectrum.size());
    std::transform(spectrum.begin(), spectrum.end(), clampedSpectrum.begin(),
                   [](float v) { return clampForDisplay(v, 0.0f, 1.0f); });
    std::lock_guard guard(lock_);
    inputSamples_.swap(clampedSamples);
    inputSpectrum_.swap(clampedSpectrum);
    inputLevel_ = clampForDisplay(level, 0.0f, 1.0f);
    lifecycle_ = stateCode;
}

std::vector<RenderPoint> FieldSimulation::advance(double now) {
    const float dt = static_cast<float>(std::clamp(now - lastFrameTime_, 1.0 / 120.0, 1.0 / 30.0));
    lastFrameTime_ = now;
    frame_.elapsed += dt;

    float level = 0;
    int state = fieldIdle;
    {
        std::lock_guard guard(lock_);
        samplesCopy_.assign(inputSamples_.begin(), inputSamples_.end());
        spectrumCopy_.assign(inputSpectrum_.begin(), inputSpectrum_.end());
        level = inputLevel_;
        state = lifecycle_;
    }

    const float levelRate = level > frame_.displayedLevel ? 18.0f : 5.5f;
    frame_.displayedLevel += (level - frame_.displayedLevel) * (1.0f - std::exp(-dt * levelRate));

    const float blend = 1.0f - std::exp(-dt * (state == fieldRecording ? 34.0f : 28.0f));
    trackWave(frame_.wave, samplesCopy_, blend);
    trackWave(frame_.spectrumWave, spectrumCopy_, blend);

    simulateParticles(frame_, frame_.displayedLevel, state, dt);
    return makeRenderPoints(frame_, frame_.displayedLevel, state);
}

}  // namespace vesk

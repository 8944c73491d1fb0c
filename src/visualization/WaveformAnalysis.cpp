#include "visualization/WaveformAnalysis.h"

#include "visualization/DisplayClamp.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vesk {

namespace {

constexpr std::size_t maxSpectrumLength = 2048;
// Bins measured side by side: independent recursions keep the pipeline of the processor full.
constexpr std::size_t binsPerPass = 8;
static_assert(WaveformFrame::spectrumCount % binsPerPass == 0);

}  // namespace

void SpectrumAnalyzer::prepareWindow(std::size_t count) {
    if (hannWindow_.size() == count) return;
    hannWindow_.assign(count, 0.0f);
    if (count == 1) {
        hannWindow_[0] = 1.0f;
        return;
    }
    const float denominator = static_cast<float>(count - 1);
    for (std::size_t i = 0; i < count; ++i)
        hannWindow_[i] = 0.5f - 0.5f * std::cos(2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / denominator);
}

float SpectrumAnalyzer::binFrequency(std::size_t bin, double sampleRate) {
    const float top = 0.45f * static_cast<float>(sampleRate);
    const float ratio = top < 8000.0f ? top / 60.0f : 133.33333f;
    const float t = static_cast<float>(bin) / static_cast<float>(WaveformFrame::spectrumCount - 1);
    return 60.0f * std::pow(ratio, t);
}

const SpectrumAnalyzer::Spectrum& SpectrumAnalyzer::spectrum(const AudioBuffer& buffer) {
    const double sampleRate = buffer.sampleRate();
    if (!hasAnalysableSamples(buffer) || !(sampleRate > 0)) return smoothed_;

    const std::size_t frames = buffer.frameLength();
    const std::size_t n = std::min(frames, maxSpectrumLength);
    prepareWindow(n);
    const float* tail = buffer.channel(0) + (frames - n);

    float sum = 0.0f;
    for (std::size_t i = 0; i < n; ++i) sum += tail[i];
    const float mean = sum / static_cast<float>(n);
    windowed_.resize(n);
    for (std::size_t i = 0; i < n; ++i) windowed_[i] = (tail[i] - mean) * hannWindow_[i];

    const float sr = static_cast<float>(sampleRate);
    const float lastBin = static_cast<float>(WaveformFrame::spectrumCount - 1);

    for (std::size_t first = 0; first < WaveformFrame::spectrumCount; first += binsPerPass) {
        float coefficient[binsPerPass];
        float s1[binsPerPass] = {};
        float s2[binsPerPass] = {};
        for (std::size_t lane = 0; lane < binsPerPass; ++lane) {
            const float frequency = binFrequency(first + lane, sampleRate);
            const float omega = 2.0f * std::numbers::pi_v<float> * frequency / sr;
            coefficient[lane] = 2.0f * std::cos(omega);
        }
        for (std::size_t i = 0; i < n; ++i) {
            const float x = windowed_[i];
            for (std::size_t lane = 0; lane < binsPerPass; ++lane) {
                const float s = coefficient[lane] * s1[lane] - s2[lane] + x;
                s2[lane] = s1[lane];
                s1[lane] = s;
            }
        }
        for (std::size_t lane = 0; lane < binsPerPass; ++lane) {
            const std::size_t k = first + lane;
            const float t = static_cast<float>(k) / lastBin;
            const float power = s1[lane] * s1[lane] + s2[lane] * s2[lane] - coefficient[lane] * s1[lane] * s2[lane];
            const float amplitude = 2.0f * std::sqrt(std::max(power, 0.0f)) / static_cast<float>(n);
            const float decibels = 20.0f * std::log10(std::max(amplitude, 1e-7f));
            const float value = clampForDisplay((9.0f * t + decibels + 68.0f) / 56.0f, 0.0f, 1.0f);
            const float gain = value > smoothed_[k] ? 0.56f : 0.14f;
            smoothed_[k] += (value - smoothed_[k]) * gain;
        }
    }
    return smoothed_;
}

std::array<float, WaveformFrame::waveformCount> WaveformBandSplitter::downsample(std::span<const float> values) {
    constexpr std::size_t bins = WaveformFrame::waveformCount;
    std::array<float, bins> result{};
    const std::size_t n = values.size();
    if (n == 0) return result;
    for (std::size_t b = 0; b < bins; ++b) {
        const std::size_t start = b * n / bins;
        const std::size_t end = std::max(start + 1, std::min((b + 1) * n / bins, n));
        float sum = 0.0f;
        for (std::size_t i = start; i < end; ++i) sum += values[i];
        result[b] = clampForDisplay(sum / static_cast<float>(end - start), -1.0f, 1.0f);
    }
    return result;
}

WaveformFrame WaveformBandSplitter::frame(const AudioBuffer& buffer) {
    const double sampleRate = buffer.sampleRate();
    if (!hasAnalysableSamples(buffer) || !(sampleRate > 0)) return WaveformFrame::zero();

    const float sr = static_cast<float>(sampleRate);
    const float aDc = std::exp(-157.07962f / sr);
    const float aLow = std::exp(-1382.3007f / sr);
    const float aMid = std::exp(-15707.963f / sr);

    const std::size_t frames = buffer.frameLength();
    full_.resize(frames);
    low_.resize(frames);
    mid_.resize(frames);
    high_.resize(frames);
    const float* samples = buffer.channel(0);
    for (std::size_t i = 0; i < frames; ++i) {
        const float x = samples[i];
        dcState_ += (1.0f - aDc) * (x - dcState_);
        const float y = x - dcState_;
        lowState_ += (1.0f - aLow) * (y - lowState_);
        midLowPassState_ += (1.0f - aMid) * (y - midLowPassState_);
        full_[i] = y;
        low_[i] = lowState_;
        mid_[i] = midLowPassState_ - lowState_;
        high_[i] = y - midLowPassState_;
    }
    // A non-finite sample would otherwise stay in the filter memories until the next reset.
    if (!std::isfinite(dcState_) || !std::isfinite(lowState_) || !std::isfinite(midLowPassState_)) {
        dcState_ = 0.0f;
        lowState_ = 0.0f;
        midLowPassState_ = 0.0f;
    }

    WaveformFrame frame;
    frame.full = downsample(full_);
    frame.low = downsample(low_);
    frame.mid = downsample(mid_);
    frame.high = downsample(high_);
    frame.spectrum = spectrumAnalyzer_.spectrum(buffer);
    return frame;
}

void WaveformBandSplitter::reset() {
    dcState_ = 0.0f;
    lowState_ = 0.0f;
    midLowPassState_ = 0.0f;
    spectrumAnalyzer_.resetSmoothing();
}

}  // namespace vesk

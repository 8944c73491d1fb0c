#pragma once

#include "audio/AudioBuffer.h"
#include "visualization/WaveformFrame.h"

#include <array>
#include <span>
#include <vector>

namespace vesk {

// The 192-bin log-frequency spectrum (60 Hz up to min(0.45 sr, 8 kHz)), measured with the
// Goertzel recursion on a Hann-windowed tail of the buffer; values rise fast and fall slowly
// so the display does not flicker.
class SpectrumAnalyzer {
public:
    using Spectrum = std::array<float, WaveformFrame::spectrumCount>;

    // Analyses the first channel of `buffer` and returns the smoothed spectrum; a buffer
    // without samples or without a positive sample rate leaves it unchanged.
    const Spectrum& spectrum(const AudioBuffer& buffer);

    const Spectrum& smoothed() const { return smoothed_; }
    // Centre frequency of `bin`: log-spaced from 60 Hz up to min(0.45 sr, 8000 Hz).
    static float binFrequency(std::size_t bin, double sampleRate);
    // Back to silence, as when a recording ends.
    void resetSmoothing() { smoothed_.fill(0.0f); }
    // Entries of the cached window (its length is the last analysis length).
    const std::vector<float>& hannWindow() const { return hannWindow_; }

private:
    void prepareWindow(std::size_t count);

    Spectrum smoothed_{};
    std::vector<float> hannWindow_;
    std::vector<float> windowed_;  // scratch, kept to avoid an allocation per buffer
};

// Splits a buffer's first channel into the full DC-free signal and a low, mid and high band
// with three one-pole filters whose memories carry from one buffer to the next.
class WaveformBandSplitter {
public:
    // A frame for `buffer`; WaveformFrame::zero() (and no change of state) for a buffer
    // without samples or without a positive sample rate.
    WaveformFrame frame(const AudioBuffer& buffer);

    // Forgets the filter memories and the spectrum smoothing.
    void reset();

    float dcState() const { return dcState_; }
    float lowState() const { return lowState_; }
    float midLowPassState() const { return midLowPassState_; }
    SpectrumAnalyzer& spectrumAnalyzer() { return spectrumAnalyzer_; }

    // Means of 384 equal slices of `values`, each clamped to -1...1; with fewer than 384
    // values a value feeds several points.
    static std::array<float, WaveformFrame::waveformCount> downsample(std::span<const float> values);

private:
    float dcState_ = 0.0f;
    float lowState_ = 0.0f;
    float midLowPassState_ = 0.0f;
    SpectrumAnalyzer spectrumAnalyzer_;
    std::vector<float> full_, low_, mid_, high_;  // scratch per buffer
};

// True when `buffer` carries samples the analysis can read.
inline bool hasAnalysableSamples(const AudioBuffer& buffer) {
    return buffer.channelCount() > 0 && buffer.frameLength() > 0;
}

}  // namespace vesk

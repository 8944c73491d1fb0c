#pragma once

#include <array>
#include <cstddef>

namespace vesk {

// One analysed microphone buffer as the displays draw it: the DC-free signal and its three
// bands averaged down to a fixed width, and the smoothed log-frequency spectrum.
struct WaveformFrame {
    static constexpr std::size_t waveformCount = 384;
    static constexpr std::size_t spectrumCount = 192;

    std::array<float, waveformCount> full{};      // each in -1...1
    std::array<float, waveformCount> low{};       // below about 220 Hz
    std::array<float, waveformCount> mid{};       // about 220 Hz to 2500 Hz
    std::array<float, waveformCount> high{};      // above about 2500 Hz
    std::array<float, spectrumCount> spectrum{};  // each in 0...1, bin 0 at 60 Hz

    // The silent frame, created once and shared.
    static const WaveformFrame& zero() {
        static const WaveformFrame silent{};
        return silent;
    }

    friend bool operator==(const WaveformFrame&, const WaveformFrame&) = default;
};

}  // namespace vesk

#pragma once

#include "audio/AudioBuffer.h"
#include "visualization/WaveformFrame.h"

#include <array>

namespace vesk::WaveformSampler {

// Loudness of the buffer's first channel in 0...1: -55 dBFS and below give 0, 0 dBFS gives
// 1, linear in decibels between. Reads at most about 512 samples.
float normalizedLevel(const AudioBuffer& buffer);

// 384 chunk means of the first channel, centred on their own mean and clamped to -1...1.
std::array<float, WaveformFrame::waveformCount> signedSamples(const AudioBuffer& buffer);

// The built-in check: five PASS/FAIL lines on standard output; true when all passed.
bool runSelfTest();

}  // namespace vesk::WaveformSampler

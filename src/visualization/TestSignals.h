#pragma once

#include "audio/AudioBuffer.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace vesk {

// A mono buffer holding a sine of `frequency` Hz and `amplitude`, starting at phase 0; used by
// the built-in checks, which run without a microphone.
inline AudioBuffer makeSineBuffer(double sampleRate, uint32_t frames, double frequency, float amplitude) {
    AudioBuffer buffer(sampleRate, 1, frames);
    buffer.setFrameLength(frames);
    float* samples = buffer.channel(0);
    for (uint32_t i = 0; i < frames; ++i)
        samples[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency * i / sampleRate));
    return buffer;
}

}  // namespace vesk

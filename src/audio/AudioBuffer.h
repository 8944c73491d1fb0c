#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace vesk {

// 32-bit float PCM, one plane per channel (the layout the analysis and the recognizers
// read). `frameLength` frames of each channel are valid, up to `frameCapacity`.
class AudioBuffer {
public:
    AudioBuffer() = default;
    AudioBuffer(double sampleRate, uint32_t channelCount, uint32_t frameCapacity)
        : sampleRate_(sampleRate),
          channelCount_(channelCount),
          frameCapacity_(frameCapacity),
          samples_(static_cast<size_t>(channelCount) * frameCapacity, 0.0f) {}

    // A buffer holding `frames` interleaved frames of `channelCount` channels.
    static AudioBuffer fromInterleaved(double sampleRate, uint32_t channelCount, std::span<const float> interleaved) {
        const auto frames = channelCount ? static_cast<uint32_t>(interleaved.size() / channelCount) : 0u;
        AudioBuffer buffer(sampleRate, channelCount, frames);
        buffer.frameLength_ = frames;
        for (uint32_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < channelCount; ++c)
                buffer.channel(c)[f] = interleaved[static_cast<size_t>(f) * channelCount + c];
        return buffer;
    }

    double sampleRate() const { return sampleRate_; }
    uint32_t channelCount() const { return channelCount_; }
    uint32_t frameCapacity() const { return frameCapacity_; }
    uint32_t frameLength() const { return frameLength_; }
    // Clamped to the capacity.
    void setFrameLength(uint32_t frames) { frameLength_ = frames < frameCapacity_ ? frames : frameCapacity_; }

    float* channel(uint32_t index) { return samples_.data() + static_cast<size_t>(index) * frameCapacity_; }
    const float* channel(uint32_t index) const { return samples_.data() + static_cast<size_t>(index) * frameCapacity_; }
    std::span<const float> channelSamples(uint32_t index) const { return {channel(index), frameLength_}; }

    // An independent copy with the same format and a capacity equal to the frame length;
    // nothing when the memory cannot be had.
    std::optional<AudioBuffer> detachedCopy() const {
        try {
            AudioBuffer copy(sampleRate_, channelCount_, frameLength_);
            copy.frameLength_ = frameLength_;
            for (uint32_t c = 0; c < channelCount_; ++c) {
                const float* source = channel(c);
                std::copy(source, source + frameLength_, copy.channel(c));
            }
            return copy;
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }

private:
    double sampleRate_ = 0;
    uint32_t channelCount_ = 0;
    uint32_t frameCapacity_ = 0;
    uint32_t frameLength_ = 0;
    std::vector<float> samples_;
};

}  // namespace vesk

#pragma once

#include "audio/AudioBuffer.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

struct AudioFormat {
    double sampleRate = 0;
    uint32_t channelCount = 0;

    static AudioFormat of(const AudioBuffer& buffer) { return {buffer.sampleRate(), buffer.channelCount()}; }
    bool operator==(const AudioFormat&) const = default;
};

// Converts PCM buffers to another rate and channel count (libsamplerate plus a down-mix
// to mono), keeping one converter between calls while the formats stay the same, so a
// stream of buffers is resampled without seams.
class AudioBufferConverter {
public:
    // Why a conversion failed. No description of its own: callers say what they were doing.
    class ConversionError : public std::exception {
    public:
        enum class Kind { conversionFailed, unavailable, allocationFailed };
        explicit ConversionError(Kind kind, std::optional<std::string> underlying = std::nullopt)
            : kind_(kind), underlying_(std::move(underlying)) {}
        Kind kind() const { return kind_; }
        // The resampler's own error text, for conversionFailed when it gave one.
        const std::optional<std::string>& underlying() const { return underlying_; }
        const char* what() const noexcept override;

    private:
        Kind kind_;
        std::optional<std::string> underlying_;
    };

    AudioBufferConverter();
    ~AudioBufferConverter();
    AudioBufferConverter(const AudioBufferConverter&) = delete;
    AudioBufferConverter& operator=(const AudioBufferConverter&) = delete;

    // The buffer in `target` format, or nothing when it already is in that format (the
    // caller then uses it as it is). Throws ConversionError.
    std::optional<AudioBuffer> convert(const AudioBuffer& buffer, AudioFormat target);

    // Output frames reserved for `frames` input frames: at least 1, else the ratio of the
    // rates times the frames, rounded up.
    static uint32_t outputCapacity(double sourceRate, double targetRate, uint32_t frames);

    // Whether a converter is cached (for the reuse rule).
    bool hasCachedConverter() const { return cached_ != nullptr; }

private:
    struct Cached;
    std::unique_ptr<Cached> cached_;
};

// A whole recording as mono samples at `sampleRate`: channels averaged, then resampled
// in one pass that flushes the resampler, so the end of the recording is kept.
std::vector<float> monoSamples(const AudioBuffer& buffer, double sampleRate);

// The same for a recording that arrives piece by piece (read from a file): each piece of
// interleaved frames is averaged to mono and resampled as it comes, so no copy of the
// whole recording is made in its own format. One thread at a time.
class MonoResampler {
public:
    // Throws AudioBufferConverter::ConversionError (unavailable) for impossible formats.
    MonoResampler(double sourceRate, uint32_t channelCount, double targetRate);
    ~MonoResampler();
    MonoResampler(const MonoResampler&) = delete;
    MonoResampler& operator=(const MonoResampler&) = delete;

    // Appends the converted samples of `interleaved` to `out`; `last` flushes what the
    // resampler still holds. Throws AudioBufferConverter::ConversionError.
    void push(std::span<const float> interleaved, bool last, std::vector<float>& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vesk

#pragma once

#include <sndfile.h>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "audio/CaptureEngine.h"

namespace vesk::test {

// A stand-in input device that reports whatever format the test sets, so a test can
// present a missing or broken input while capture itself stays the real one.
class FixedInputDevice final : public InputDevice {
public:
    explicit FixedInputDevice(InputFormat format) : format_(std::move(format)) {}
    InputFormat inputFormat() override {
        std::lock_guard lock(mutex_);
        return format_;
    }
    void setFormat(InputFormat format) {
        std::lock_guard lock(mutex_);
        format_ = std::move(format);
    }

private:
    std::mutex mutex_;
    InputFormat format_;
};

// Sets an environment variable for its lifetime and puts the old value back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

// A recording read back: its format and its samples, one vector per channel.
struct RecordedFile {
    bool opened = false;
    int format = 0;
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::vector<float>> planes;
    size_t frames() const { return planes.empty() ? 0 : planes[0].size(); }
};

inline RecordedFile readRecording(const std::string& path) {
    RecordedFile result;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return result;
    result.opened = true;
    result.format = info.format;
    result.sampleRate = info.samplerate;
    result.channels = info.channels;
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    result.planes.assign(info.channels, {});
    for (sf_count_t f = 0; f < read; ++f)
        for (int c = 0; c < info.channels; ++c) result.planes[c].push_back(interleaved[f * info.channels + c]);
    return result;
}

inline std::vector<float> sine(double frequency, double seconds, unsigned rate, float amplitude = 0.5f) {
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency * i / rate));
    return samples;
}

// Energy of `samples` at one frequency (Goertzel), normalized by length.
inline double toneEnergy(const std::vector<float>& samples, double frequency, unsigned rate) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    double previous = 0, beforePrevious = 0;
    for (float sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return samples.empty() ? 0 : power / (static_cast<double>(samples.size()) * samples.size());
}

inline double rms(const std::vector<float>& samples) {
    double sum = 0;
    for (float sample : samples) sum += static_cast<double>(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

}  // namespace vesk::test

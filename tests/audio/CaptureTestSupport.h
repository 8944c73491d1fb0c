#pragma once

#include <sndfile.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioBufferObserver.h"
#include "audio/CaptureEngine.h"
#include "support/TestEnvironment.h"

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

// A scratch home in which recordings go to its "tmp" folder: the person's own runtime
// directory is hidden while it lives.
class RecordingHome : public ScratchHome {
public:
    std::filesystem::path recordings() const { return root() / "tmp"; }

private:
    ScopedVariable noRuntimeDirectory_{"XDG_RUNTIME_DIR", std::nullopt};
};

// Test double for a capture source's observer: records the source's notices and, for the
// buffers, their format, their loudness and the threads they came on.
class BufferObserverSpy final : public AudioBufferObserver {
public:
    void sourceStarted() override { note("started"); }
    void sourceStopped() override { note("stopped"); }
    void consume(const AudioBuffer& buffer) override {
        float peak = 0;
        for (uint32_t c = 0; c < buffer.channelCount(); ++c)
            for (float sample : buffer.channelSamples(c)) peak = std::max(peak, std::abs(sample));
        std::lock_guard lock(mutex_);
        ++buffers_;
        sampleRate_ = buffer.sampleRate();
        channels_ = buffer.channelCount();
        loudest_ = std::max(loudest_, peak);
        threads_.insert(std::this_thread::get_id());
        changed_.notify_all();
    }

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    int buffers() const {
        std::lock_guard lock(mutex_);
        return buffers_;
    }
    float loudest() const {
        std::lock_guard lock(mutex_);
        return loudest_;
    }
    double sampleRate() const {
        std::lock_guard lock(mutex_);
        return sampleRate_;
    }
    uint32_t channels() const {
        std::lock_guard lock(mutex_);
        return channels_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    bool waitForLoudness(float peak, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return loudest_ > peak; });
    }

private:
    void note(const char* event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    int buffers_ = 0;
    double sampleRate_ = 0;
    uint32_t channels_ = 0;
    float loudest_ = 0;
    std::set<std::thread::id> threads_;
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

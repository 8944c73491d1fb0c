#include "audio/SystemSounds.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vesk {

// The sounds now playing. Touched only with the connection locked.
struct SystemSounds::Playback {
    struct Sound {
        Playback* owner = nullptr;
        pa_stream* stream = nullptr;
        std::shared_ptr<const std::vector<float>> samples;
        // Pending drain; cancelled when the sound is cut short so it never calls back.
        pa_operation* drain = nullptr;
    };
    std::vector<std::unique_ptr<Sound>> sounds;

    void begin(pa_context* context, std::shared_ptr<const std::vector<float>> samples);
    void finish(Sound* sound);
    void finishAll() {
        while (!sounds.empty()) finish(sounds.back().get());
    }
};

namespace {

void soundDrained(pa_stream*, int, void* userdata) {
    auto* sound = static_cast<SystemSounds::Playback::Sound*>(userdata);
    PulseConnection::CallbackScope scope;
    // The operation completes by itself after this call; only our reference goes.
    pa_operation_unref(sound->drain);
    sound->drain = nullptr;
    sound->owner->finish(sound);
}

void soundStateChanged(pa_stream* stream, void* userdata) {
    auto* sound = static_cast<SystemSounds::Playback::Sound*>(userdata);
    PulseConnection::CallbackScope scope;
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY: {
            const auto& samples = *sound->samples;
            if (pa_stream_write(stream, samples.data(), samples.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE) <
                0) {
                sound->owner->finish(sound);
                return;
            }
            // Finished once the server has played it all.
            sound->drain = pa_stream_drain(stream, &soundDrained, sound);
            if (!sound->drain) sound->owner->finish(sound);
            break;
        }
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: sound->owner->finish(sound); break;
        default: break;
    }
}

float envelope(double t, double attack, double decay) {
    const double rise = attack > 0 ? std::min(1.0, t / attack) : 1.0;
    return static_cast<float>(rise * std::exp(-t / decay));
}

}  // namespace

void SystemSounds::Playback::begin(pa_context* context, std::shared_ptr<const std::vector<float>> samples) {
    pa_sample_spec sampleSpec{};
    sampleSpec.format = PA_SAMPLE_FLOAT32NE;
    sampleSpec.rate = kSampleRate;
    sampleSpec.channels = 1;
    pa_stream* stream = pa_stream_new(context, "Feedback sound", &sampleSpec, nullptr);
    if (!stream) return;
    auto sound = std::make_unique<Sound>(Sound{this, stream, std::move(samples)});
    pa_stream_set_state_callback(stream, &soundStateChanged, sound.get());
    if (pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) < 0) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
        return;
    }
    sounds.push_back(std::move(sound));
}

void SystemSounds::Playback::finish(Sound* sound) {
    if (sound->drain) {
        pa_operation_cancel(sound->drain);
        pa_operation_unref(sound->drain);
        sound->drain = nullptr;
    }
    pa_stream_set_state_callback(sound->stream, nullptr, nullptr);
    pa_stream_disconnect(sound->stream);
    pa_stream_unref(sound->stream);
    std::erase_if(sounds, [sound](const auto& held) { return held.get() == sound; });
}

std::vector<float> SystemSounds::synthesize(std::string_view name) {
    const double rate = kSampleRate;
    const double pi2 = 2 * std::numbers::pi;
    std::vector<float> samples;
    if (name == "Pop") {
        // A quick upward sweep with a soft onset: a bubble popping.
        const size_t count = static_cast<size_t>(0.09 * rate);
        double phase = 0;
        for (size_t i = 0; i < count; ++i) {
            const double t = i / rate;
            const double frequency = 320 + 620 * (t / 0.09);
            phase += pi2 * frequency / rate;
            samples.push_back(0.5f * envelope(t, 0.004, 0.03) * static_cast<float>(std::sin(phase)));
        }
    } else if (name == "Basso") {
        // A low buzz: odd harmonics of a low tone, held briefly, then released.
        const size_t count = static_cast<size_t>(0.32 * rate);
        for (size_t i = 0; i < count; ++i) {
            const double t = i / rate;
            double value = 0;
            for (int k = 1; k <= 7; k += 2) value += std::sin(pi2 * 110 * k * t) / k;
            const double release = t > 0.24 ? std::max(0.0, 1 - (t - 0.24) / 0.08) : 1.0;
            const double attack = std::min(1.0, t / 0.01);
            samples.push_back(static_cast<float>(0.35 * attack * release * value));
        }
    } else if (name == "Tink") {
        // A bright, very short tick.
        const size_t count = static_cast<size_t>(0.08 * rate);
        for (size_t i = 0; i < count; ++i) {
            const double t = i / rate;
            const double value = std::sin(pi2 * 3520 * t) + 0.3 * std::sin(pi2 * 7040 * t);
            samples.push_back(0.45f * envelope(t, 0.001, 0.015) * static_cast<float>(value));
        }
    }
    // A short fade at the end so no sound stops with a click.
    const size_t fade = std::min(samples.size(), static_cast<size_t>(0.008 * rate));
    for (size_t i = 0; i < fade; ++i) samples[samples.size() - 1 - i] *= static_cast<float>(i) / fade;
    return samples;
}

SystemSounds::SystemSounds(std::shared_ptr<PulseConnection> connection)
    : connection_(std::move(connection)), playback_(std::make_shared<Playback>()) {
    for (const char* name : {"Pop", "Basso", "Tink"})
        tones_.emplace(name, std::make_shared<const std::vector<float>>(synthesize(name)));
}

SystemSounds::~SystemSounds() {
    PulseConnection::Lock lock(*connection_);
    playback_->finishAll();
    playback_.reset();
}

void SystemSounds::play(std::string_view name) {
    const auto tone = tones_.find(name);
    if (tone == tones_.end()) return;
    PulseConnection::Lock lock(*connection_);
    // Never waits for the server: before the connection is up the sound is played once it
    // is, and without a server it is simply not played.
    pa_context* context = connection_->contextOrConnect(
        [weak = std::weak_ptr<Playback>(playback_), samples = tone->second](pa_context* ready) {
            if (auto playback = weak.lock()) playback->begin(ready, samples);
        });
    if (context) playback_->begin(context, tone->second);
}

}  // namespace vesk

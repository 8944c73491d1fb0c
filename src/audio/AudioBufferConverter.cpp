#include "audio/AudioBufferConverter.h"

#include <samplerate.h>

#include <cmath>
#include <new>
#include <vector>

namespace vesk {

const char* AudioBufferConverter::ConversionError::what() const noexcept {
    switch (kind_) {
        case Kind::conversionFailed: return "conversionFailed";
        case Kind::unavailable: return "unavailable";
        case Kind::allocationFailed: return "allocationFailed";
    }
    return "conversion error";
}

struct AudioBufferConverter::Cached {
    AudioFormat input;
    AudioFormat output;
    SRC_STATE* state = nullptr;  // absent when only the channel layout changes
    std::vector<float> mixed;    // scratch for the down-mixed input
    std::vector<float> resampled;

    ~Cached() {
        if (state) src_delete(state);
    }
};

AudioBufferConverter::AudioBufferConverter() = default;
AudioBufferConverter::~AudioBufferConverter() = default;

uint32_t AudioBufferConverter::outputCapacity(double sourceRate, double targetRate, uint32_t frames) {
    const double exact = std::ceil(targetRate / sourceRate * static_cast<double>(frames));
    return exact < 1.0 ? 1u : static_cast<uint32_t>(exact);
}

std::optional<AudioBuffer> AudioBufferConverter::convert(const AudioBuffer& buffer, AudioFormat target) {
    const AudioFormat source = AudioFormat::of(buffer);
    if (source == target) return std::nullopt;

    if (!cached_ || cached_->input != source || cached_->output != target) {
        cached_.reset();
        // Down-mix to mono or keep the channels as they are; no other layout change.
        const bool layoutOk = target.channelCount == 1 || target.channelCount == source.channelCount;
        const double ratio = target.sampleRate / source.sampleRate;
        if (!layoutOk || source.channelCount == 0 || !(source.sampleRate > 0) || !(target.sampleRate > 0) ||
            !src_is_valid_ratio(ratio))
            throw ConversionError(ConversionError::Kind::unavailable);
        auto fresh = std::make_unique<Cached>();
        fresh->input = source;
        fresh->output = target;
        if (source.sampleRate != target.sampleRate) {
            int error = 0;
            // No priming: the resampler starts from silence, so the stream is not delayed
            // by extra frames at its start.
            fresh->state = src_new(SRC_SINC_FASTEST, static_cast<int>(target.channelCount), &error);
            if (!fresh->state) throw ConversionError(ConversionError::Kind::unavailable);
        }
        cached_ = std::move(fresh);
    }

    const uint32_t frames = buffer.frameLength();
    const uint32_t capacity = outputCapacity(source.sampleRate, target.sampleRate, frames);
    std::optional<AudioBuffer> output;
    try {
        output.emplace(target.sampleRate, target.channelCount, capacity);
        // Interleaved input in the target's channel layout.
        cached_->mixed.assign(static_cast<size_t>(frames) * target.channelCount, 0.0f);
    } catch (const std::bad_alloc&) {
        throw ConversionError(ConversionError::Kind::allocationFailed);
    }
    if (target.channelCount == 1 && source.channelCount > 1) {
        const float scale = 1.0f / static_cast<float>(source.channelCount);
        for (uint32_t c = 0; c < source.channelCount; ++c) {
            const float* samples = buffer.channel(c);
            for (uint32_t f = 0; f < frames; ++f) cached_->mixed[f] += samples[f] * scale;
        }
    } else {
        for (uint32_t c = 0; c < target.channelCount; ++c) {
            const float* samples = buffer.channel(c);
            for (uint32_t f = 0; f < frames; ++f)
                cached_->mixed[static_cast<size_t>(f) * target.channelCount + c] = samples[f];
        }
    }

    const float* interleaved = cached_->mixed.data();
    uint32_t produced = frames;
    if (cached_->state) {
        try {
            cached_->resampled.resize(static_cast<size_t>(capacity) * target.channelCount);
        } catch (const std::bad_alloc&) {
            throw ConversionError(ConversionError::Kind::allocationFailed);
        }
        SRC_DATA data{};
        data.data_in = cached_->mixed.data();
        data.input_frames = frames;
        data.data_out = cached_->resampled.data();
        data.output_frames = capacity;
        data.src_ratio = target.sampleRate / source.sampleRate;
        data.end_of_input = 0;
        if (const int error = src_process(cached_->state, &data); error != 0)
            throw ConversionError(ConversionError::Kind::conversionFailed, std::string(src_strerror(error)));
        interleaved = cached_->resampled.data();
        produced = static_cast<uint32_t>(data.output_frames_gen);
    }
    produced = std::min(produced, capacity);
    for (uint32_t c = 0; c < target.channelCount; ++c) {
        float* out = output->channel(c);
        for (uint32_t f = 0; f < produced; ++f) out[f] = interleaved[static_cast<size_t>(f) * target.channelCount + c];
    }
    output->setFrameLength(produced);
    return output;
}

std::vector<float> monoSamples(const AudioBuffer& buffer, double sampleRate) {
    const uint32_t frames = buffer.frameLength();
    std::vector<float> mono(frames, 0.0f);
    if (buffer.channelCount() == 0) return {};
    const float scale = 1.0f / static_cast<float>(buffer.channelCount());
    for (uint32_t c = 0; c < buffer.channelCount(); ++c) {
        const float* samples = buffer.channel(c);
        for (uint32_t f = 0; f < frames; ++f) mono[f] += samples[f] * scale;
    }
    if (buffer.sampleRate() == sampleRate || frames == 0) return mono;
    const double ratio = sampleRate / buffer.sampleRate();
    if (!src_is_valid_ratio(ratio))
        throw AudioBufferConverter::ConversionError(AudioBufferConverter::ConversionError::Kind::unavailable);
    std::vector<float> out(AudioBufferConverter::outputCapacity(buffer.sampleRate(), sampleRate, frames) + 16);
    SRC_DATA data{};
    data.data_in = mono.data();
    data.input_frames = frames;
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (const int error = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1); error != 0)
        throw AudioBufferConverter::ConversionError(AudioBufferConverter::ConversionError::Kind::conversionFailed,
                                                    std::string(src_strerror(error)));
    out.resize(static_cast<size_t>(data.output_frames_gen));
    return out;
}

struct MonoResampler::State {
    uint32_t channels = 1;
    double ratio = 1;
    SRC_STATE* resampler = nullptr;  // absent when the rates are the same
    std::vector<float> mono;
    ~State() {
        if (resampler) src_delete(resampler);
    }
};

MonoResampler::MonoResampler(double sourceRate, uint32_t channelCount, double targetRate)
    : state_(std::make_unique<State>()) {
    using Kind = AudioBufferConverter::ConversionError::Kind;
    state_->channels = channelCount;
    state_->ratio = targetRate / sourceRate;
    if (channelCount == 0 || !(sourceRate > 0) || !(targetRate > 0) || !src_is_valid_ratio(state_->ratio))
        throw AudioBufferConverter::ConversionError(Kind::unavailable);
    if (sourceRate != targetRate) {
        int error = 0;
        state_->resampler = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
        if (!state_->resampler) throw AudioBufferConverter::ConversionError(Kind::unavailable);
    }
}

MonoResampler::~MonoResampler() = default;

void MonoResampler::push(std::span<const float> interleaved, bool last, std::vector<float>& out) {
    State& state = *state_;
    const size_t frames = interleaved.size() / state.channels;
    state.mono.resize(frames);
    const float scale = 1.0f / static_cast<float>(state.channels);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (uint32_t c = 0; c < state.channels; ++c) sum += interleaved[f * state.channels + c];
        state.mono[f] = state.channels == 1 ? sum : sum * scale;
    }
    if (!state.resampler) {
        out.insert(out.end(), state.mono.begin(), state.mono.end());
        return;
    }
    SRC_DATA data{};
    data.data_in = state.mono.data();
    data.input_frames = static_cast<long>(frames);
    data.src_ratio = state.ratio;
    data.end_of_input = last ? 1 : 0;
    // Written straight behind what is there; the caller reserved room for the whole recording.
    for (;;) {
        const size_t room = static_cast<size_t>(std::ceil(static_cast<double>(data.input_frames) * state.ratio)) + 64;
        const size_t before = out.size();
        out.resize(before + room);
        data.data_out = out.data() + before;
        data.output_frames = static_cast<long>(room);
        if (const int error = src_process(state.resampler, &data); error != 0) {
            out.resize(before);
            throw AudioBufferConverter::ConversionError(AudioBufferConverter::ConversionError::Kind::conversionFailed,
                                                        std::string(src_strerror(error)));
        }
        out.resize(before + static_cast<size_t>(data.output_frames_gen));
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
        // Done when the input is used up and, at the end, nothing more comes out.
        if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) break;
    }
}

}  // namespace vesk

#include "audio/CaptureEngine.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "core/Error.h"

namespace vesk {
namespace {

constexpr const char* kPulseDomain = "PulseAudio";
constexpr std::chrono::milliseconds kOpenTimeout{3000};

Error openError(int code, const std::string& reason) {
    return Error(kPulseDomain, code, "The microphone could not be opened: " + reason + ".");
}

}  // namespace

DefaultInputDevice::DefaultInputDevice(std::shared_ptr<PulseConnection> connection)
    : connection_(std::move(connection)) {}

InputFormat DefaultInputDevice::inputFormat() {
    PulseConnection::Lock lock(*connection_);
    return connection_->defaultInputFormat();
}

CaptureEngine::CaptureEngine(std::shared_ptr<PulseConnection> connection, std::shared_ptr<InputDevice> device)
    : connection_(std::move(connection)), device_(std::move(device)) {}

CaptureEngine::~CaptureEngine() {
    PulseConnection::Lock lock(*connection_);
    tap_ = nullptr;
    closeStream();
}

InputFormat CaptureEngine::inputFormat() { return device_->inputFormat(); }

void CaptureEngine::installTap(uint32_t bufferFrames, const InputFormat& format, Tap tap) {
    PulseConnection::Lock lock(*connection_);
    bufferFrames_ = bufferFrames;
    format_ = format;
    tap_ = std::move(tap);
    pending_ = AudioBuffer(format.sampleRate, format.channelCount, bufferFrames);
}

void CaptureEngine::removeTap() {
    PulseConnection::Lock lock(*connection_);
    tap_ = nullptr;
}

bool CaptureEngine::isRunning() const {
    PulseConnection::Lock lock(*connection_);
    return stream_ != nullptr;
}

CaptureStatistics CaptureEngine::statistics() const {
    PulseConnection::Lock lock(*connection_);
    return statistics_;
}

void CaptureEngine::start() {
    PulseConnection::Lock lock(*connection_);
    if (stream_) return;
    pa_context* context = connection_->readyContext();
    if (!context) throw openError(PA_ERR_CONNECTIONREFUSED, "the sound server is not running");

    pa_sample_spec sampleSpec{};
    sampleSpec.format = PA_SAMPLE_FLOAT32NE;
    sampleSpec.rate = static_cast<uint32_t>(format_.sampleRate);
    sampleSpec.channels = static_cast<uint8_t>(std::min<uint32_t>(format_.channelCount, 255));
    pa_channel_map map{};
    if (!pa_sample_spec_valid(&sampleSpec) || format_.channelCount > PA_CHANNELS_MAX ||
        !pa_channel_map_init_extend(&map, sampleSpec.channels, PA_CHANNEL_MAP_DEFAULT))
        throw openError(PA_ERR_INVALID, "the input format is not supported");

    stream_ = pa_stream_new(context, "Microphone", &sampleSpec, &map);
    if (!stream_) throw openError(pa_context_errno(context), pa_strerror(pa_context_errno(context)));
    pa_stream_set_state_callback(stream_, &CaptureEngine::streamStateChanged, this);
    pa_stream_set_read_callback(stream_, &CaptureEngine::streamReadable, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = attributes.prebuf = attributes.minreq = static_cast<uint32_t>(-1);
    // Fragments of half a tap buffer: the first buffer is handed on as soon as it is full
    // rather than after the server's default fragment (up to two seconds), with two
    // wake-ups per buffer instead of many (the meter runs all day).
    attributes.fragsize = static_cast<uint32_t>(pa_frame_size(&sampleSpec) * std::max<uint32_t>(1, bufferFrames_ / 2));
    const char* source = format_.sourceName.empty() ? nullptr : format_.sourceName.c_str();
    pending_.setFrameLength(0);
    statistics_ = {};
    if (pa_stream_connect_record(stream_, source, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        const int code = pa_context_errno(context);
        closeStream();
        throw openError(code, pa_strerror(code));
    }
    const bool settled = connection_->waitUntil(
        [this] {
            return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) || pa_stream_get_state(stream_) == PA_STREAM_READY;
        },
        kOpenTimeout);
    if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        const int code = settled ? pa_context_errno(context) : PA_ERR_TIMEOUT;
        closeStream();
        throw openError(code, pa_strerror(code));
    }
}

void CaptureEngine::stop() {
    PulseConnection::Lock lock(*connection_);
    if (!stream_) return;
    if (pending_.frameLength() > 0) deliver();
    closeStream();
}

void CaptureEngine::closeStream() {
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void CaptureEngine::streamStateChanged(pa_stream*, void* userdata) {
    auto* self = static_cast<CaptureEngine*>(userdata);
    PulseConnection::CallbackScope scope;
    self->connection_->signal();
}

void CaptureEngine::streamReadable(pa_stream*, size_t, void* userdata) {
    auto* self = static_cast<CaptureEngine*>(userdata);
    PulseConnection::CallbackScope scope;
    self->readAvailable();
}

namespace {

std::chrono::nanoseconds threadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

void CaptureEngine::readAvailable() {
    const auto began = std::chrono::steady_clock::now();
    const auto cpuBegan = threadCpuTime();
    const size_t frameBytes = sizeof(float) * format_.channelCount;
    while (pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) break;
        // A hole (the server had nothing for that stretch) becomes silence, so what follows
        // keeps its place in time.
        append(static_cast<const float*>(data), bytes / frameBytes);
        pa_stream_drop(stream_);
    }
    const auto spent = std::chrono::steady_clock::now() - began;
    ++statistics_.callbacks;
    statistics_.callbackTime += spent;
    statistics_.callbackCpuTime += threadCpuTime() - cpuBegan;
    statistics_.longestCallback = std::max<std::chrono::nanoseconds>(statistics_.longestCallback, spent);
}

void CaptureEngine::append(const float* interleaved, size_t frames) {
    const uint32_t channels = format_.channelCount;
    while (frames > 0) {
        const uint32_t filled = pending_.frameLength();
        const auto take = static_cast<uint32_t>(std::min<size_t>(frames, bufferFrames_ - filled));
        for (uint32_t c = 0; c < channels; ++c) {
            float* plane = pending_.channel(c) + filled;
            if (!interleaved) {
                std::fill(plane, plane + take, 0.0f);
                continue;
            }
            for (uint32_t f = 0; f < take; ++f) plane[f] = interleaved[static_cast<size_t>(f) * channels + c];
        }
        pending_.setFrameLength(filled + take);
        if (interleaved) interleaved += static_cast<size_t>(take) * channels;
        frames -= take;
        if (pending_.frameLength() == bufferFrames_) deliver();
    }
}

void CaptureEngine::deliver() {
    ++statistics_.buffers;
    if (tap_) tap_(pending_);
    pending_.setFrameLength(0);
}

}  // namespace vesk

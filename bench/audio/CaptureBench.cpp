// Microphone capture on a private sound server (the virtual microphone of the tests):
// how soon the first buffer arrives after start(), and what the capture callback costs.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <thread>

#include "audio/AudioRecorder.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"

namespace {

using namespace vesk;
using namespace std::chrono_literals;

// Goal: the first 2048-frame buffer within 100 ms of start(), so the first word is kept.
// At 48 kHz a buffer is 42.7 ms of sound, so that much is the floor.
void BM_CaptureStartToFirstBuffer(benchmark::State& state) {
    test::ScratchHome home;
    test::VirtualMicrophone microphone(static_cast<unsigned>(state.range(0)), 1);
    if (!microphone.running()) {
        state.SkipWithError(microphone.unavailableReason().c_str());
        return;
    }
    AudioRecorder recorder;
    for (auto _ : state) {
        const auto began = std::chrono::steady_clock::now();
        auto stream = recorder.start();
        const auto first = stream->next(3s);
        const auto elapsed = std::chrono::steady_clock::now() - began;
        if (!first) {
            state.SkipWithError("no buffer arrived");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        recorder.cancel();
    }
}
BENCHMARK(BM_CaptureStartToFirstBuffer)
    ->Arg(48000)
    ->Arg(16000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// Goal: under 0.2 ms per buffer on average for the capture thread's own work (reading
// from the server, re-chunking, the file write and the stream copy; an attached
// visualization adds its hand-off, which BM_PipelineConsume measures).
void BM_CaptureCallbackPerBuffer(benchmark::State& state) {
    test::ScratchHome home;
    const auto channels = static_cast<unsigned>(state.range(0));
    test::VirtualMicrophone microphone(48000, channels);
    if (!microphone.running()) {
        state.SkipWithError(microphone.unavailableReason().c_str());
        return;
    }
    AudioRecorder recorder;
    CaptureStatistics statistics;
    for (auto _ : state) {
        auto stream = recorder.start();
        std::thread consumer([&] {
            while (stream->next()) {
            }
        });
        std::this_thread::sleep_for(3s);
        statistics = recorder.captureStatistics();
        recorder.cancel();
        consumer.join();
        const double perBuffer =
            statistics.buffers ? std::chrono::duration<double>(statistics.callbackTime).count() / statistics.buffers
                               : 0;
        state.SetIterationTime(perBuffer);
    }
    state.counters["buffers"] = static_cast<double>(statistics.buffers);
    state.counters["callbacks"] = static_cast<double>(statistics.callbacks);
    state.counters["cpu_us_per_buffer"] =
        statistics.buffers
            ? std::chrono::duration<double, std::micro>(statistics.callbackCpuTime).count() / statistics.buffers
            : 0;
    state.counters["longest_ms"] = std::chrono::duration<double, std::milli>(statistics.longestCallback).count();
}
BENCHMARK(BM_CaptureCallbackPerBuffer)->Arg(1)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMicrosecond);

// The pieces of the tap handler, without a sound server: the file write and the hand-off
// into the live stream (the pipeline's share is measured with the pipeline).
AudioBuffer speechLikeBuffer(uint32_t channels) {
    AudioBuffer buffer(48000, channels, 2048);
    buffer.setFrameLength(2048);
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t i = 0; i < 2048; ++i) buffer.channel(c)[i] = 0.3f * std::sin(0.05f * i) * std::sin(0.002f * i);
    return buffer;
}

void BM_RecordingFileWrite(benchmark::State& state) {
    test::ScratchHome home;
    const auto channels = static_cast<uint32_t>(state.range(0));
    AudioFileWriter file(home.root() / "tmp" / "bench.caf", 48000, channels);
    const AudioBuffer buffer = speechLikeBuffer(channels);
    for (auto _ : state) benchmark::DoNotOptimize(file.write(buffer));
}
BENCHMARK(BM_RecordingFileWrite)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_LiveStreamCopyAndPush(benchmark::State& state) {
    AudioBufferStream stream(AudioRecorder::kStreamCapacity);
    const AudioBuffer buffer = speechLikeBuffer(1);
    for (auto _ : state) {
        auto copy = buffer.detachedCopy();
        stream.push(std::move(*copy));
    }
}
BENCHMARK(BM_LiveStreamCopyAndPush)->Unit(benchmark::kMicrosecond);

}  // namespace

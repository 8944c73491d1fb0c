// Live captions on whisper: 60 s of real speech (Debian's LibriVox recordings, looped)
// fed through the transcriber's live path in the recorder's own buffers (2048 frames at
// 48 kHz) at real-time pace, on a random-weight model of base.en's dimensions whose text
// ends after a few tokens, as a real model's does. Reports the overruns (goal: none), the
// caption lag (from a buffer's arrival to the first caption that covers it), and how
// many decodes ran and what one cost on average.
//
// One iteration takes a minute of wall time: run it alone,
//   build/bench/vesk_bench --benchmark_filter=LiveCaption
#include "RandomWhisperModel.h"
#include "SpeechTestAssets.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "speech/Transcriber.h"
#include "speech/WhisperEngine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

namespace {

using namespace vesk;
using Clock = std::chrono::steady_clock;

constexpr double kRecorderRate = 48000;
constexpr uint32_t kRecorderFrames = 2048;
constexpr int kSeconds = 60;
constexpr int kEndAfterTokens = 4;

// The LibriVox recordings back to back, repeated until `seconds` are filled.
std::vector<float> loopedSpeech(int seconds, double rate) {
    std::vector<float> once;
    for (const char* n : {"0870", "0880", "0890", "0920", "0930"}) {
        const auto samples = monoSamples(readAudioFile(test::assets::libriVox(n)), rate);
        once.insert(once.end(), samples.begin(), samples.end());
    }
    std::vector<float> all;
    const auto wanted = static_cast<size_t>(seconds * rate);
    while (all.size() < wanted) all.insert(all.end(), once.begin(), once.end());
    all.resize(wanted);
    return all;
}

const std::filesystem::path& endingBaseModel() {
    static const std::filesystem::path path = [] {
        auto p = std::filesystem::temp_directory_path() /
                 ("vesk-bench-random-base.en-end" + std::to_string(kEndAfterTokens) + ".bin");
        if (!std::filesystem::exists(p)) {
            auto shape = test::WhisperModelShape::baseEnglish();
            shape.endAfterTokens = kEndAfterTokens;
            test::writeRandomWhisperModel(p, shape);
        }
        return p;
    }();
    return path;
}

// A decode that ended, when, and what it was.
struct Decode {
    Clock::time_point at;
    LiveDecodeReport report;
};

void BM_WhisperLiveCaptionsKeepPace(benchmark::State& state) {
    const auto speech = loopedSpeech(kSeconds, kRecorderRate);
    std::mutex mutex;
    std::vector<Decode> decodes;
    WhisperSetup setup;
    setup.modelPath = endingBaseModel();
    setup.vadModelPath = test::assets::sileroModel();
    setup.temperatureFallback = false;  // a random model would retry every final decode
    setup.liveDecodeObserver = [&](const LiveDecodeReport& report) {
        const std::lock_guard lock(mutex);
        if (report.finished) decodes.push_back({Clock::now(), report});
    };
    auto engine = std::make_shared<WhisperEngine>(setup);
    engine->loadModel();
    for (auto _ : state) {
        decodes.clear();
        Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
        std::atomic<int> updates{0};
        transcriber.startLive({}, [&](const std::string&, const std::string&) { ++updates; });
        // Where each buffer ends in the recognizer's 16 kHz samples: the same conversion as
        // the transcriber's, so the resampler's delay is counted exactly.
        AudioBufferConverter converter;
        std::vector<size_t> ends;
        std::vector<Clock::time_point> arrivals;
        const auto began = Clock::now();
        for (size_t offset = 0; offset < speech.size(); offset += kRecorderFrames) {
            const auto frames = static_cast<uint32_t>(std::min<size_t>(kRecorderFrames, speech.size() - offset));
            const auto due = began + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(offset / kRecorderRate));
            std::this_thread::sleep_until(due);
            AudioBuffer buffer(kRecorderRate, 1, frames);
            buffer.setFrameLength(frames);
            std::copy_n(speech.data() + offset, frames, buffer.channel(0));
            arrivals.push_back(Clock::now());
            transcriber.streamLiveAudio(buffer);
            const auto converted = converter.convert(buffer, {kEngineSampleRate, 1});
            ends.push_back((ends.empty() ? 0 : ends.back()) + (converted ? converted->frameLength() : frames));
        }
        int overruns = 0;
        const auto released = Clock::now();
        try {
            benchmark::DoNotOptimize(transcriber.finishLive());
        } catch (const LiveAudioOverrun&) {
            ++overruns;
        }
        const double finishSeconds = std::chrono::duration<double>(Clock::now() - released).count();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - began).count());

        // A caption covers a buffer once a decode that reaches past its end has ended.
        std::vector<double> lags;
        size_t next = 0;
        for (size_t i = 0; i < arrivals.size(); ++i) {
            while (next < decodes.size() &&
                   (decodes[next].report.superseded || decodes[next].report.coveredThrough < ends[i] ||
                    decodes[next].at < arrivals[i]))
                ++next;
            if (next == decodes.size()) break;
            lags.push_back(std::chrono::duration<double>(decodes[next].at - arrivals[i]).count());
        }
        std::sort(lags.begin(), lags.end());
        double decodeSeconds = 0, finalSeconds = 0, longestWindow = 0;
        int provisional = 0, committed = 0, closed = 0, superseded = 0;
        for (const Decode& d : decodes) {
            decodeSeconds += d.report.seconds;
            if (d.report.kind != LiveDecodeReport::Kind::provisional) finalSeconds += d.report.seconds;
            longestWindow = std::max(longestWindow, d.report.decodedSamples / kEngineSampleRate);
            superseded += d.report.superseded;
            switch (d.report.kind) {
                case LiveDecodeReport::Kind::provisional: ++provisional; break;
                case LiveDecodeReport::Kind::committed: ++committed; break;
                case LiveDecodeReport::Kind::closed: ++closed; break;
            }
        }
        state.counters["overruns"] = overruns;
        state.counters["updates"] = updates.load();
        state.counters["decodes"] = static_cast<double>(decodes.size());
        state.counters["provisional"] = provisional;
        state.counters["committed"] = committed;
        state.counters["closed"] = closed;
        state.counters["superseded"] = superseded;
        if (!decodes.empty()) state.counters["decode_mean_s"] = decodeSeconds / static_cast<double>(decodes.size());
        if (committed + closed > 0) state.counters["final_decode_mean_s"] = finalSeconds / (committed + closed);
        state.counters["window_max_s"] = longestWindow;
        state.counters["covered_buffers"] = static_cast<double>(lags.size());
        state.counters["buffers"] = static_cast<double>(arrivals.size());
        if (!lags.empty()) {
            state.counters["lag_mean_s"] = std::accumulate(lags.begin(), lags.end(), 0.0) / lags.size();
            state.counters["lag_p95_s"] = lags[lags.size() * 95 / 100];
            state.counters["lag_max_s"] = lags.back();
        }
        state.counters["finish_s"] = finishSeconds;
    }
}
BENCHMARK(BM_WhisperLiveCaptionsKeepPace)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

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

// When a caption appeared and how far into the session's audio (16 kHz samples) it reaches.
struct Caption {
    Clock::time_point at;
    size_t coveredThrough = 0;
};

// Forwards to the real engine and notes, for each result, how much audio the recognition
// had been given: the engine decodes inside accept, so a result covers all of it.
class CaptionClock final : public SpeechEngine {
public:
    explicit CaptionClock(std::shared_ptr<SpeechEngine> inner) : inner_(std::move(inner)) {}
    std::string name() const override { return inner_->name(); }
    bool isModelInstalled() const override { return inner_->isModelInstalled(); }
    bool canInstallModel() const override { return false; }
    void installModel() override {}
    void loadModel() override { inner_->loadModel(); }
    std::vector<RecognitionResult> recognize(std::span<const float> samples,
                                             const std::optional<RecognitionContext>& context,
                                             const RecognitionProgress& progress) override {
        return inner_->recognize(samples, context, progress);
    }
    std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>& context,
                                               ResultSink sink) override {
        auto live = std::make_unique<Live>(*this);
        live->inner = inner_->startLive(context, [this, raw = live.get(), sink](RecognitionResult result) {
            {
                const std::lock_guard lock(mutex_);
                captions_.push_back({Clock::now(), raw->accepted});
            }
            sink(std::move(result));
        });
        return live;
    }
    std::vector<Caption> captions() const {
        const std::lock_guard lock(mutex_);
        return captions_;
    }
    size_t accepted() const { return accepted_; }

private:
    struct Live final : LiveRecognition {
        explicit Live(CaptionClock& owner) : owner(owner) {}
        void accept(std::span<const float> samples) override {
            accepted += samples.size();
            owner.accepted_ = accepted;
            inner->accept(samples);
        }
        void finish() override { inner->finish(); }
        void cancel() noexcept override { inner->cancel(); }
        CaptionClock& owner;
        std::unique_ptr<LiveRecognition> inner;
        size_t accepted = 0;
    };
    std::shared_ptr<SpeechEngine> inner_;
    mutable std::mutex mutex_;
    std::vector<Caption> captions_;
    std::atomic<size_t> accepted_{0};
};

void BM_WhisperLiveCaptionsKeepPace(benchmark::State& state) {
    const auto speech = loopedSpeech(kSeconds, kRecorderRate);
    WhisperSetup setup;
    setup.modelPath = endingBaseModel();
    setup.vadModelPath = test::assets::sileroModel();
    auto whisper = std::make_shared<WhisperEngine>(setup);
    whisper->loadModel();
    auto engine = std::make_shared<CaptionClock>(whisper);
    for (auto _ : state) {
        Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
        transcriber.startLive({}, [](const std::string&, const std::string&) {});
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

        // Each buffer's end in the recognizer's 16 kHz samples; the resampler keeps a few
        // back until the end, so a caption that reaches within that many counts.
        const double ratio = kEngineSampleRate / kRecorderRate;
        const auto nominal = static_cast<size_t>(static_cast<double>(speech.size()) * ratio);
        const size_t held = nominal > engine->accepted() ? nominal - engine->accepted() : 0;
        const auto captions = engine->captions();
        std::vector<double> lags;
        size_t next = 0;
        for (size_t i = 0; i < arrivals.size(); ++i) {
            const auto end = static_cast<size_t>(static_cast<double>((i + 1) * kRecorderFrames) * ratio);
            while (next < captions.size() &&
                   (captions[next].coveredThrough + held < end || captions[next].at < arrivals[i]))
                ++next;
            if (next == captions.size()) break;
            lags.push_back(std::chrono::duration<double>(captions[next].at - arrivals[i]).count());
        }
        std::sort(lags.begin(), lags.end());
        state.counters["overruns"] = overruns;
        state.counters["captions"] = static_cast<double>(captions.size());
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

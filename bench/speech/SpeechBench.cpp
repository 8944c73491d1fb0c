// Speed of on-device recognition: real-time factor (processing time ÷ audio time) of
// both engines on 5 s and 15 s of real speech, and the wait between finishLive and the
// text. whisper runs a random-weight model of base.en's real dimensions, so its timing is
// that of the real model while its words are nonsense (decoding runs without the
// temperature fallback, which a random model would trigger on every window).
#include "RandomWhisperModel.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "speech/PocketSphinxEngine.h"
#include "speech/Transcriber.h"
#include "speech/WhisperEngine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace vesk;
using Clock = std::chrono::steady_clock;

const std::filesystem::path kLibriVox = "/usr/share/pocketsphinx/test/data/librivox";

// The five LibriVox recordings back to back, cut to `seconds`.
std::vector<float> speechClip(int seconds) {
    std::vector<float> all;
    for (const char* n : {"0870", "0880", "0890", "0920", "0930"}) {
        const auto samples = monoSamples(
            readAudioFile(kLibriVox / ("sense_and_sensibility_01_austen_64kb-" + std::string(n) + ".wav")), 16000);
        all.insert(all.end(), samples.begin(), samples.end());
    }
    all.resize(std::min(all.size(), static_cast<size_t>(seconds) * 16000));
    return all;
}

const std::filesystem::path& baseModel() {
    static const std::filesystem::path path = [] {
        auto p = std::filesystem::temp_directory_path() / "vesk-bench-random-base.en.bin";
        if (!std::filesystem::exists(p)) test::writeRandomWhisperModel(p, test::WhisperModelShape::baseEnglish());
        return p;
    }();
    return path;
}

std::shared_ptr<SpeechEngine> pocketSphinx() {
    return std::make_shared<PocketSphinxEngine>(*PocketSphinxModel::forLocale("en-US"));
}

std::shared_ptr<SpeechEngine> whisperBase() {
    WhisperSetup setup;
    setup.modelPath = baseModel();
    setup.temperatureFallback = false;
    return std::make_shared<WhisperEngine>(std::move(setup));
}

void fileRealTimeFactor(benchmark::State& state, const std::shared_ptr<SpeechEngine>& engine) {
    const auto clip = speechClip(static_cast<int>(state.range(0)));
    engine->recognize(clip, std::nullopt);  // loads the model outside the timing
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(engine->recognize(clip, std::nullopt));
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["RTF"] = seconds / (static_cast<double>(state.iterations()) * state.range(0));
}

void BM_PocketSphinxFileRTF(benchmark::State& state) { fileRealTimeFactor(state, pocketSphinx()); }
BENCHMARK(BM_PocketSphinxFileRTF)->Arg(5)->Arg(15)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WhisperBaseRandomFileRTF(benchmark::State& state) { fileRealTimeFactor(state, whisperBase()); }
BENCHMARK(BM_WhisperBaseRandomFileRTF)->Arg(5)->Arg(15)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// Feeds 7 s of speech at real-time pace in 4096-frame buffers, then times finishLive.
void finishLiveToText(benchmark::State& state, const std::shared_ptr<SpeechEngine>& engine) {
    const auto clip = speechClip(7);
    Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
    int overruns = 0;
    for (auto _ : state) {
        transcriber.startLive({}, [](const std::string&, const std::string&) {});
        for (size_t offset = 0; offset < clip.size(); offset += 4096) {
            const size_t frames = std::min<size_t>(4096, clip.size() - offset);
            AudioBuffer buffer(16000, 1, static_cast<uint32_t>(frames));
            buffer.setFrameLength(static_cast<uint32_t>(frames));
            std::copy_n(clip.data() + offset, frames, buffer.channel(0));
            transcriber.streamLiveAudio(buffer);
            std::this_thread::sleep_for(std::chrono::duration<double>(frames / 16000.0));
        }
        const auto start = Clock::now();
        try {
            benchmark::DoNotOptimize(transcriber.finishLive());
        } catch (const LiveAudioOverrun&) {
            ++overruns;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["overruns"] = overruns;
}

void BM_PocketSphinxFinishLiveToText(benchmark::State& state) { finishLiveToText(state, pocketSphinx()); }
BENCHMARK(BM_PocketSphinxFinishLiveToText)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WhisperBaseRandomFinishLiveToText(benchmark::State& state) { finishLiveToText(state, whisperBase()); }
BENCHMARK(BM_WhisperBaseRandomFinishLiveToText)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

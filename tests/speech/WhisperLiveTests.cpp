#include "RandomWhisperModel.h"
#include "SpeechTestAssets.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "speech/Transcriber.h"
#include "speech/WhisperEngine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace vesk::test {
namespace {

constexpr double kRecorderRate = 48000;
constexpr uint32_t kRecorderFrames = 2048;

// Real speech at the recorder's rate: Debian's LibriVox recordings, repeated to `seconds`.
std::vector<float> recordedSpeech(double seconds) {
    std::vector<float> once;
    for (const char* n : {"0870", "0880", "0890", "0920", "0930"}) {
        const auto samples = monoSamples(readAudioFile(assets::libriVox(n)), kRecorderRate);
        once.insert(once.end(), samples.begin(), samples.end());
    }
    std::vector<float> all;
    const auto wanted = static_cast<size_t>(seconds * kRecorderRate);
    while (all.size() < wanted) all.insert(all.end(), once.begin(), once.end());
    all.resize(wanted);
    return all;
}

class WhisperLiveSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = std::filesystem::temp_directory_path() / ("vesk-whisper-live-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        WhisperModelShape shape;
        shape.endAfterTokens = 4;  // text ends after a few tokens, as a real model's does
        writeRandomWhisperModel(directory_ / "ggml-ending.bin", shape);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(directory_); }

    inline static std::filesystem::path directory_;
};

// The recorder's buffers arrive four times faster than real time, from a feeding thread
// while the recognizer decodes on its own: nothing is dropped, the windows stay bounded
// and the session ends with final text.
TEST_F(WhisperLiveSession, RecorderBuffersFasterThanRealTimeAreNeverDroppedAndEndFinal) {
    const auto speech = recordedSpeech(15);
    for (const bool voiceDetection : {true, false}) {
        SCOPED_TRACE(voiceDetection ? "with voice detection" : "without voice detection");
        std::mutex mutex;
        std::vector<LiveDecodeReport> reports;
        std::vector<std::pair<std::string, std::string>> updates;
        WhisperSetup setup;
        setup.modelPath = directory_ / "ggml-ending.bin";
        if (voiceDetection) setup.vadModelPath = assets::sileroModel();
        setup.threads = 1;
        setup.temperatureFallback = false;  // a random model fails every quality check
        setup.liveDecodeObserver = [&](const LiveDecodeReport& report) {
            const std::lock_guard lock(mutex);
            reports.push_back(report);
        };
        const auto engine = std::make_shared<WhisperEngine>(setup);
        Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
        transcriber.startLive({}, [&](const std::string& finalized, const std::string& provisional) {
            const std::lock_guard lock(mutex);
            updates.emplace_back(finalized, provisional);
        });
        std::thread feeder([&] {
            const auto pace = std::chrono::duration<double>(kRecorderFrames / kRecorderRate / 4);
            for (size_t offset = 0; offset < speech.size(); offset += kRecorderFrames) {
                const auto frames = static_cast<uint32_t>(std::min<size_t>(kRecorderFrames, speech.size() - offset));
                AudioBuffer buffer(kRecorderRate, 1, frames);
                buffer.setFrameLength(frames);
                std::copy_n(speech.data() + offset, frames, buffer.channel(0));
                transcriber.streamLiveAudio(buffer);
                std::this_thread::sleep_for(pace);
            }
        });
        feeder.join();
        std::string text;
        ASSERT_NO_THROW(text = transcriber.finishLive());

        const std::lock_guard lock(mutex);
        ASSERT_FALSE(updates.empty());
        const std::string& finalized = updates.back().first;
        ASSERT_FALSE(finalized.empty()) << "the session ends with final text";
        EXPECT_EQ(text.rfind(finalized.substr(finalized.find_first_not_of(' ')), 0), 0u) << text;
        size_t finals = 0, commits = 0, covered = 0;
        for (const LiveDecodeReport& report : reports) {
            if (report.kind == LiveDecodeReport::Kind::provisional) {
                EXPECT_LE(report.decodedSamples, setup.live.maximumProvisional) << "the volatile window is bounded";
            } else {
                EXPECT_FALSE(report.superseded) << "a final decode is never given up";
            }
            finals += report.kind != LiveDecodeReport::Kind::provisional;
            commits += report.kind == LiveDecodeReport::Kind::committed;
            if (!report.superseded) covered = std::max(covered, report.coveredThrough);
        }
        EXPECT_GE(finals, 2u);
        // Without pauses to close at, 15 s of speech only become final by commits.
        if (!voiceDetection) {
            EXPECT_GE(commits, 1u);
        }
        // The decodes reach the end of what was fed, but for the resampler's last samples.
        EXPECT_GT(covered, static_cast<size_t>(speech.size() / 3) - 400);
    }
}

}  // namespace
}  // namespace vesk::test

#include "RandomWhisperModel.h"
#include "SpeechTestAssets.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "speech/Transcriber.h"
#include "speech/WhisperEngine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
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
            if (report.finished) reports.push_back(report);
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

// Decodes that watch for their own end: a volatile decode is given up when enough newer
// audio arrives while it runs, or when the input ends, but not twice in a row; final
// decodes run to their end.
class DecodeWatch {
public:
    void operator()(const LiveDecodeReport& report) {
        const std::lock_guard lock(mutex_);
        reports_.push_back(report);
        changed_.notify_all();
    }
    // Waits for the n-th report (0-based) and returns it.
    LiveDecodeReport waitFor(size_t n) {
        std::unique_lock lock(mutex_);
        const bool arrived = changed_.wait_for(lock, std::chrono::minutes(1), [&] { return reports_.size() > n; });
        if (!arrived) throw std::runtime_error("no decode report " + std::to_string(n));
        return reports_[n];
    }
    // Waits for the first report from the n-th on that `wanted` accepts; n then points past it.
    LiveDecodeReport waitFor(size_t& n, const std::function<bool(const LiveDecodeReport&)>& wanted) {
        for (;; ++n)
            if (const LiveDecodeReport report = waitFor(n); wanted(report)) return ++n, report;
    }
    std::vector<LiveDecodeReport> reports() {
        const std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<LiveDecodeReport> reports_;
};

TEST_F(WhisperLiveSession, NewerAudioOrTheEndGivesUpAVolatileDecodeButNeverAFinalOne) {
    // A decoder that fills its whole text context: each decode takes long enough to be
    // overtaken. No voice detection, so only the end of input finalizes.
    WhisperModelShape shape;
    shape.textContext = 448;
    shape.audioState = shape.textState = 128;
    shape.textLayers = 2;
    const auto model = directory_ / "ggml-talkative.bin";
    writeRandomWhisperModel(model, shape);
    std::vector<float> speech;  // 13 s
    for (const char* n : {"0870", "0920"}) {
        const auto samples = monoSamples(readAudioFile(assets::libriVox(n)), 16000);
        speech.insert(speech.end(), samples.begin(), samples.end());
    }
    const size_t second = 16000;
    using Kind = LiveDecodeReport::Kind;

    for (const bool endEarly : {false, true}) {
        SCOPED_TRACE(endEarly ? "the input ends during a volatile decode" : "newer audio arrives");
        auto watch = std::make_shared<DecodeWatch>();
        WhisperSetup setup;
        setup.modelPath = model;
        setup.threads = 1;
        setup.temperatureFallback = false;
        setup.liveDecodeObserver = [watch](const LiveDecodeReport& report) { (*watch)(report); };
        WhisperEngine engine(setup);
        std::vector<RecognitionResult> results;  // written on the decoder thread, read after finish
        auto live = engine.startLive(std::nullopt, [&](RecognitionResult r) { results.push_back(std::move(r)); });
        const auto feed = [&](size_t from, size_t to) {
            live->accept(std::span<const float>(speech).subspan(from, to - from));
        };

        feed(0, 2 * second);
        LiveDecodeReport first = watch->waitFor(0);
        ASSERT_EQ(first.kind, Kind::provisional);
        ASSERT_FALSE(first.finished);
        size_t next = 1;
        if (!endEarly) {
            feed(2 * second, 2 * second + setup.live.supersededAfter);  // while the decode runs
            const LiveDecodeReport overtaken = watch->waitFor(next++);
            EXPECT_TRUE(overtaken.finished);
            EXPECT_TRUE(overtaken.superseded);
            // The next one runs to its end however much arrives meanwhile.
            const LiveDecodeReport again = watch->waitFor(next++);
            ASSERT_EQ(again.kind, Kind::provisional);
            EXPECT_EQ(again.decodedSamples, 2 * second + setup.live.supersededAfter);
            feed(2 * second + setup.live.supersededAfter, 9 * second);
            const LiveDecodeReport kept = watch->waitFor(next++);
            EXPECT_TRUE(kept.finished);
            EXPECT_FALSE(kept.superseded);
            // 9 s are more than a volatile window: the older part is committed. Audio that
            // arrives meanwhile is waiting when the commit ends, so no volatile decode of
            // the audio before it begins: the next one covers everything.
            watch->waitFor(next, [](const LiveDecodeReport& r) { return r.kind == Kind::committed; });
            feed(9 * second, speech.size());
            const LiveDecodeReport caughtUp = watch->waitFor(
                next, [](const LiveDecodeReport& r) { return r.kind == Kind::provisional && r.finished; });
            EXPECT_EQ(caughtUp.coveredThrough, speech.size());
            EXPECT_FALSE(caughtUp.superseded);
        }
        live->finish();
        const auto reports = watch->reports();
        if (endEarly) {
            ASSERT_GE(reports.size(), 2u);
            EXPECT_TRUE(reports[1].finished && reports[1].superseded) << "the final decode of the same audio follows";
        }
        const LiveDecodeReport& last = reports.back();
        EXPECT_EQ(last.kind, Kind::closed);
        EXPECT_TRUE(last.finished);
        EXPECT_FALSE(last.superseded);
        EXPECT_EQ(last.coveredThrough, endEarly ? 2 * second : speech.size());
        ASSERT_FALSE(results.empty());
        EXPECT_TRUE(results.back().isFinal);
        for (const auto& report : reports) {
            if (report.kind != Kind::provisional) {
                EXPECT_FALSE(report.superseded);
            }
        }
        if (endEarly) {
            for (const auto& result : results) EXPECT_TRUE(result.isFinal) << "the given-up decode delivered nothing";
        }
    }
}

}  // namespace
}  // namespace vesk::test

#include "RandomWhisperModel.h"
#include "SpeechTestAssets.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "core/Error.h"
#include "speech/HallucinationFilter.h"
#include "speech/SpeechEngines.h"
#include "speech/Transcriber.h"
#include "speech/WhisperDecoding.h"
#include "speech/WhisperEngine.h"
#include "support/TestEnvironment.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>
#include <whisper.h>

#include <QCryptographicHash>
#include <QFile>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <numeric>
#include <random>
#include <regex>
#include <thread>

namespace vesk::test {
namespace {

class WhisperEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = std::filesystem::temp_directory_path() / ("vesk-whisper-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        writeRandomWhisperModel(directory_ / "ggml-random.bin");
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(directory_); }

    static WhisperSetup setup(bool withVoiceDetection) {
        WhisperSetup s;
        s.modelPath = directory_ / "ggml-random.bin";
        if (withVoiceDetection) s.vadModelPath = assets::sileroModel();
        s.threads = 1;  // spinning worker threads crawl on a busy machine
        // A random model fails every quality check; retrying at five temperatures would
        // only repeat the same nonsense more slowly.
        s.temperatureFallback = false;
        return s;
    }

    static std::vector<float> samplesOf(const std::filesystem::path& file) {
        return monoSamples(readAudioFile(file), 16000);
    }

    inline static std::filesystem::path directory_;
};

TEST_F(WhisperEngineTest, DecodesWordsWithConfidencesAndRunnerUpAlternativesUntilTheTextEnds) {
    WhisperEngine engine(setup(false));
    ASSERT_TRUE(engine.isModelInstalled());
    const auto audio = samplesOf(assets::libriVox("0880"));
    const auto results = engine.recognize(audio, std::nullopt);
    ASSERT_EQ(results.size(), 1u);  // no voice detection: the recording is one stretch
    const RecognitionResult& result = results[0];
    ASSERT_FALSE(result.text.runs.empty());
    size_t doubtful = 0;
    for (const auto& run : result.text.runs) {
        ASSERT_TRUE(run.confidence.has_value());
        EXPECT_GE(*run.confidence, 0.0);
        EXPECT_LE(*run.confidence, 1.0);
        EXPECT_FALSE(run.text.empty());
        if (*run.confidence < 0.72) ++doubtful;
    }
    // Later words begin with their space: runs are words.
    for (size_t i = 1; i < result.text.runs.size(); ++i) EXPECT_EQ(result.text.runs[i].text.front(), ' ');
    ASSERT_GT(doubtful, 0u) << "a random model doubts most of what it says";
    ASSERT_FALSE(result.alternatives.empty());
    EXPECT_LE(result.alternatives.size(), 2u);
    // Each alternative is the transcript with one token swapped: same start or same end.
    const std::string text = result.text.plainText();
    for (const auto& alternative : result.alternatives) {
        const std::string other = alternative.plainText();
        EXPECT_NE(other, text);
        size_t prefix = 0;
        while (prefix < std::min(text.size(), other.size()) && text[prefix] == other[prefix]) ++prefix;
        size_t suffix = 0;
        while (suffix < std::min(text.size(), other.size()) - prefix &&
               text[text.size() - 1 - suffix] == other[other.size() - 1 - suffix])
            ++suffix;
        EXPECT_LE(text.size() - prefix - suffix, 12u) << "more than one token differs: " << other;
    }
    EXPECT_EQ(engine.recognize(audio, std::nullopt)[0].text, result.text) << "the same audio decodes the same way";
    // Words this model's made-up vocabulary can spell, so that the prompt is not empty.
    const auto biased = engine.recognize(audio, RecognitionContext{{"zunega", "rogufa pavuda"}});
    ASSERT_EQ(biased.size(), 1u);
    EXPECT_FALSE(biased[0].text.runs.empty());

    // A random model decodes until its context is full; one made to end its text stops
    // after a few tokens, as a real model does, so timings with it show what a real one costs.
    WhisperModelShape ending;
    ending.endAfterTokens = 4;
    WhisperSetup endingSetup = setup(false);
    endingSetup.modelPath = directory_ / "ggml-ending.bin";
    writeRandomWhisperModel(endingSetup.modelPath, ending);
    size_t endingWords = 0;
    for (const auto& stretch : WhisperEngine(endingSetup).recognize(audio, std::nullopt))
        endingWords += stretch.text.runs.size();
    EXPECT_GE(endingWords, 1u);
    EXPECT_LE(endingWords, 4u);
    EXPECT_GT(result.text.runs.size(), 2 * endingWords) << "until the small context is full";
}

// A recording cancelled while whisper decodes a long stretch: the decode is aborted, not
// waited out.
TEST_F(WhisperEngineTest, CancellingALiveSessionAbortsTheDecodeInProgress) {
    using Clock = std::chrono::steady_clock;
    // whisper checks for an abort between the steps of its decoder (the encoder runs in one
    // piece), so this model spends its time decoding: a larger text decoder with room for
    // a long transcript, which a random model always fills.
    WhisperModelShape shape;
    shape.textContext = 448;
    shape.audioState = shape.textState = 384;
    shape.audioHeads = shape.textHeads = 6;
    shape.textLayers = 2;
    const auto path = directory_ / "ggml-slow.bin";
    writeRandomWhisperModel(path, shape);
    WhisperSetup slow = setup(false);
    slow.modelPath = path;
    auto engine = std::make_shared<WhisperEngine>(slow);
    // 25 s of speech in one buffer: the live recognizer closes it at once with one decode.
    std::vector<float> speech;
    while (speech.size() < 16000 * 25) {
        const auto clip = samplesOf(assets::jfk());
        speech.insert(speech.end(), clip.begin(), clip.end());
    }
    speech.resize(16000 * 25);
    AudioBuffer buffer(16000, 1, static_cast<uint32_t>(speech.size()));
    buffer.setFrameLength(static_cast<uint32_t>(speech.size()));
    std::copy(speech.begin(), speech.end(), buffer.channel(0));

    const auto begin = Clock::now();
    engine->recognize(speech, std::nullopt);
    const auto whole = Clock::now() - begin;
    ASSERT_GT(whole, std::chrono::milliseconds(400)) << "the decode is too quick to be cancelled in the middle";

    Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
    std::atomic<int> updates{0};
    transcriber.startLive({}, [&](std::string, std::string) { ++updates; });
    transcriber.streamLiveAudio(buffer);
    std::this_thread::sleep_for(whole / 4);  // well inside the decode
    const auto cancelled = Clock::now();
    transcriber.cancelLive();
    const auto waited = Clock::now() - cancelled;
    EXPECT_LT(waited, whole / 2) << "cancel waited " << std::chrono::duration<double>(waited).count() << " s of a "
                                 << std::chrono::duration<double>(whole).count() << " s decode";
    EXPECT_EQ(updates, 0);
}

TEST(WhisperPrompt, BiasTermsBecomeTheDecoderPromptAndNoneLeaveItUnset) {
    EXPECT_FALSE(WhisperEngine::promptFor(std::nullopt).has_value());
    EXPECT_FALSE(WhisperEngine::promptFor(RecognitionContext{}).has_value());
    EXPECT_EQ(WhisperEngine::promptFor(RecognitionContext{{"Bjørn", "Kubernetes"}}), "Bjørn, Kubernetes");
}

// Voice detection cuts a recording at its pauses; live, it finalizes a stretch at each
// pause and revises the open one until then.
TEST_F(WhisperEngineTest, VoiceDetectionSegmentsFilesAndLiveRecognitionAtPauses) {
    WhisperEngine engine(setup(true));
    const auto audio = samplesOf(assets::jfk());
    EXPECT_EQ(engine.recognize(audio, std::nullopt).size(), 4u);
    // Whisper invents text for silence and noise; with no speech found nothing is decoded.
    std::mt19937 random(7);
    std::normal_distribution<float> gaussian(0.0f, 0.1f);
    std::vector<float> white(16000 * 3), pink(16000 * 3);
    std::array<float, 8> octaves{};  // Voss: one random source per octave, summed
    for (size_t i = 0; i < white.size(); ++i) {
        white[i] = gaussian(random);
        for (size_t o = 0; o < octaves.size(); ++o)
            if (i % (size_t{1} << o) == 0) octaves[o] = gaussian(random);
        pink[i] = std::accumulate(octaves.begin(), octaves.end(), 0.0f) / 3.0f;
    }
    for (const auto& [name, noise] : {std::pair{"silence", std::vector<float>(16000 * 3, 0.0f)},
                                      std::pair{"white noise", white}, std::pair{"pink noise", pink}})
        EXPECT_TRUE(engine.recognize(noise, std::nullopt).empty()) << name;

    // Live: the first seconds are decoded as volatile text before the rest arrives (the
    // recognizer decodes on its own thread; told of its decodes, the test waits for one).
    std::mutex mutex;
    std::condition_variable decoded;
    bool provisionalDecoded = false;
    WhisperSetup observed = setup(true);
    observed.liveDecodeObserver = [&](const LiveDecodeReport& report) {
        const std::lock_guard lock(mutex);
        provisionalDecoded = provisionalDecoded || (report.kind == LiveDecodeReport::Kind::provisional &&
                                                    report.finished && !report.superseded);
        decoded.notify_all();
    };
    WhisperEngine liveEngine(observed);
    std::vector<RecognitionResult> results;  // filled on the decoder thread, read after finish
    auto live = liveEngine.startLive(std::nullopt, [&](RecognitionResult r) { results.push_back(std::move(r)); });
    const auto feed = [&](size_t from, size_t to) {
        for (size_t offset = from; offset < to; offset += 4096)
            live->accept(std::span<const float>(audio).subspan(offset, std::min<size_t>(4096, to - offset)));
    };
    const size_t opening = 16000 * 2;  // in the middle of the first sentence
    feed(0, opening);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(decoded.wait_for(lock, std::chrono::seconds(30), [&] { return provisionalDecoded; }));
    }
    feed(opening, audio.size());
    live->finish();
    size_t finals = 0, volatiles = 0;
    for (const auto& r : results) (r.isFinal ? finals : volatiles)++;
    EXPECT_GE(finals, 2u) << "the pauses close stretches";
    EXPECT_GE(volatiles, 1u) << "an open stretch is reported before it is final";
    ASSERT_FALSE(results.empty());
    EXPECT_TRUE(results.back().isFinal);
    bool first = true;
    for (const auto& r : results) {
        if (!r.isFinal) continue;
        const std::string text = r.text.plainText();
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.front() == ' ', !first) << "finals after the first are separated by a space";
        first = false;
    }
}

// The words of a decode with their start times, as the confidence trace reports them.
std::vector<std::pair<std::string, double>> tracedWordStarts(const std::function<void()>& decode) {
    ::setenv("VESK_DEBUG_CONFIDENCE", "1", 1);
    ::testing::internal::CaptureStderr();
    decode();
    const std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("VESK_DEBUG_CONFIDENCE");
    std::vector<std::pair<std::string, double>> words;
    const std::regex line(R"re(CONFIDENCE: whisper "([^"]*)" .* start=([0-9.]+) )re");
    for (auto it = std::sregex_iterator(trace.begin(), trace.end(), line); it != std::sregex_iterator(); ++it)
        words.emplace_back((*it)[1].str(), std::stod((*it)[2].str()));
    return words;
}

TEST_F(WhisperEngineTest, TextPlacedAfterTheSpeechEndedIsCut) {
    const std::unique_ptr<whisper_context, void (*)(whisper_context*)> context(
        whisper_init_from_file_with_params((directory_ / "ggml-random.bin").c_str(), whisper_context_default_params()),
        whisper_free);
    ASSERT_TRUE(context);
    const whisper::StatePtr state = whisper::newState(context.get());
    const auto audio = samplesOf(assets::libriVox("0880"));
    const std::span<const float> stretch(audio.data(), 16000 * 2);
    const WhisperSetup options = setup(false);
    const auto decodeWithSpeechTo = [&](double seconds) {
        RecognitionResult result;
        const auto words = tracedWordStarts([&] {
            result = whisper::decode(context.get(), state.get(), stretch, options, std::nullopt, true, nullptr,
                                     static_cast<size_t>(seconds * 16000));
        });
        return std::pair{result, words};
    };

    // Speech to 1.6 s of the 2 s stretch: quiet enough at the end for whisper to place its
    // words in time, too little to cut any. Decoding is deterministic, so the other
    // decodes below place the same words at the same times.
    const auto [all, placed] = decodeWithSpeechTo(1.6);
    ASSERT_FALSE(placed.empty());
    ASSERT_EQ(all.text.runs.size(), placed.size());
    const double first = placed.front().second;
    ASSERT_GT(first, HallucinationFilter::kSpeechEndTolerance + 0.1);

    // Speech that ended before the first word began: everything whisper wrote is its own.
    const auto [none, noneTraced] = decodeWithSpeechTo(first - HallucinationFilter::kSpeechEndTolerance - 0.1);
    EXPECT_FALSE(whisper::hasText(none)) << none.text.plainText();
    EXPECT_TRUE(noneTraced.empty());

    // Speech that ended just before the first word: the tolerance keeps it.
    const auto [kept, keptTraced] = decodeWithSpeechTo(first - HallucinationFilter::kSpeechEndTolerance + 0.1);
    ASSERT_FALSE(keptTraced.empty());
    EXPECT_EQ(keptTraced.front(), placed.front());
    EXPECT_EQ(kept.text.runs.front().text, all.text.runs.front().text);
}

TEST_F(WhisperEngineTest, AMissingOrDamagedModelIsReported) {
    WhisperSetup missing = setup(false);
    missing.modelPath = directory_ / "ggml-absent.bin";
    WhisperEngine absent(missing);
    EXPECT_FALSE(absent.isModelInstalled());
    EXPECT_FALSE(absent.canInstallModel());
    EXPECT_THROW(absent.recognize(std::vector<float>(16000), std::nullopt), Error);

    const auto damaged = directory_ / "ggml-damaged.bin";
    std::filesystem::copy_file(directory_ / "ggml-random.bin", damaged);
    std::filesystem::resize_file(damaged, 100000);  // cut short
    WhisperSetup broken = setup(false);
    broken.modelPath = damaged;
    QFile intactFile(QString::fromStdString((directory_ / "ggml-random.bin").string()));
    ASSERT_TRUE(intactFile.open(QIODevice::ReadOnly));
    broken.expectedSha1 =
        QCryptographicHash::hash(intactFile.readAll(), QCryptographicHash::Sha1).toHex().toStdString();
    WhisperEngine engine(broken);
    const auto error = thrownBy<Error>([&] { engine.recognize(std::vector<float>(16000), std::nullopt); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->description().find("is damaged"), std::string::npos);
    // The intact file passes the same check, and a stamp spares the next hash.
    WhisperSetup intact = setup(false);
    intact.expectedSha1 = broken.expectedSha1;
    WhisperEngine good(intact);
    EXPECT_NO_THROW(good.model());
    EXPECT_TRUE(std::filesystem::exists(intact.modelPath.string() + ".verified"));
}

TEST(WhisperModels, NamesAndSourcesFollowTheLocale) {
    EXPECT_EQ(whisperModelName("en-US", std::nullopt), "base.en");
    EXPECT_EQ(whisperModelName("en-GB", std::string()), "base.en");
    EXPECT_EQ(whisperModelName("de-DE", std::nullopt), "base");
    EXPECT_EQ(whisperModelName("de-DE", std::string("small")), "small");
    EXPECT_EQ(languageOf("pt_BR"), "pt");
    const auto base = whisperModelSource("base.en");
    ASSERT_TRUE(base.has_value());
    EXPECT_EQ(base->fileName, "ggml-base.en.bin");
    EXPECT_EQ(base->url.rfind("https://", 0), 0u);
    EXPECT_EQ(base->sha1.size(), 40u);
    EXPECT_FALSE(whisperModelSource("no-such-model").has_value());
    EXPECT_EQ(engineChoice(std::string("pocketsphinx")), EngineChoice::pocketsphinx);
    EXPECT_EQ(engineChoice(std::string("whisper")), EngineChoice::whisper);
    EXPECT_EQ(engineChoice(std::string("Whisper")), EngineChoice::automatic);
    EXPECT_EQ(engineChoice(std::nullopt), EngineChoice::automatic);
    const auto locales = supportedLocaleIDs();
    EXPECT_EQ(locales.front(), "en-US");
    EXPECT_NE(std::find(locales.begin(), locales.end(), "de"), locales.end());
}

TEST(WhisperModels, InstalledLocalesFollowTheModelsOnDisk) {
    ScratchHome home;
    auto installed = installedLocaleIDs();
    // Debian's English model is always there for the offline engine.
    EXPECT_NE(std::find(installed.begin(), installed.end(), "en-US"), installed.end());
    EXPECT_EQ(std::find(installed.begin(), installed.end(), "de"), installed.end());
    std::filesystem::create_directories(home.supportDirectory() / "models");
    std::ofstream(home.supportDirectory() / "models" / "ggml-base.bin") << "model";
    installed = installedLocaleIDs();
    EXPECT_NE(std::find(installed.begin(), installed.end(), "de"), installed.end());
}

}  // namespace
}  // namespace vesk::test

#include "ScriptedSpeechEngine.h"
#include "speech/SpeechEngines.h"
#include "speech/Transcriber.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace vesk::test {
namespace {

using Update = std::pair<std::string, std::string>;

// Buffers of 0.1 s at the engine's rate: this many wait in a full queue.
const size_t kBuffersThatFit = static_cast<size_t>(Transcriber::kLiveQueueSeconds * 10 + 0.5);

AudioBuffer engineBuffer(uint32_t frames = 1600) {
    AudioBuffer buffer(16000, 1, frames);
    buffer.setFrameLength(frames);
    return buffer;
}

struct LiveFixture : ::testing::Test {
    std::shared_ptr<ScriptedSpeechEngine> engine = std::make_shared<ScriptedSpeechEngine>();
    Transcriber transcriber{"en-US", engine, nullptr, [](const std::string&) {}};
    std::mutex mutex;
    std::vector<Update> updates;

    void start(std::vector<std::string> biasTerms = {}) {
        transcriber.startLive(std::move(biasTerms),
                              [this](const std::string& finalized, const std::string& provisional) {
                                  const std::lock_guard lock(mutex);
                                  updates.emplace_back(finalized, provisional);
                              });
    }
    void stream(size_t buffers) {
        for (size_t i = 0; i < buffers; ++i) transcriber.streamLiveAudio(engineBuffer());
    }
    // Starts a session whose first buffer the recognizer holds on to, with `waiting` more
    // buffers queued behind it.
    void startBusy(size_t waiting) {
        engine->hold();
        start();
        stream(1);
        engine->waitUntilBusy();
        stream(waiting);
    }
};

TEST_F(LiveFixture, FinalResultsAccumulateAndAVolatileOneFollowsThem) {
    engine->livePerBuffer = {{finalResult("hello")}, {finalResult(" world")}, {volatileResult(" again and")}};
    start();
    stream(3);
    EXPECT_EQ(transcriber.finishLive(), "hello world again and");
    EXPECT_EQ(updates, (std::vector<Update>{{"hello", ""}, {"hello world", ""}, {"hello world", " again and"}}));
}

TEST_F(LiveFixture, AVolatileResultReplacesTheLastOneAndAFinalOneClearsIt) {
    engine->livePerBuffer = {{volatileResult("he")}, {volatileResult("hello")}, {finalResult("hello.")}};
    engine->liveOnFinish = {volatileResult("  ")};
    start();
    stream(3);
    EXPECT_EQ(transcriber.finishLive(), "hello.");
    EXPECT_EQ(updates, (std::vector<Update>{{"", "he"}, {"", "hello"}, {"hello.", ""}, {"hello.", "  "}}));
}

TEST_F(LiveFixture, AQueueFullOfWaitingAudioFits) {
    startBusy(kBuffersThatFit);
    engine->release();
    EXPECT_NO_THROW(transcriber.finishLive());
    EXPECT_EQ(engine->acceptedBuffers(), kBuffersThatFit + 1);
}

TEST_F(LiveFixture, MoreWaitingAudioThanTheQueueHoldsOverrunsEvenWhenTextCameOut) {
    engine->livePerBuffer = {{finalResult("hello")}};
    startBusy(kBuffersThatFit + 1);
    engine->release();
    const auto overrun = thrownBy<LiveAudioOverrun>([&] { transcriber.finishLive(); });
    ASSERT_TRUE(overrun);
    EXPECT_STREQ(overrun->what(), "Live recognition fell behind; using the complete recording instead.");
    EXPECT_EQ(updates.front(), Update("hello", ""));
    EXPECT_LT(engine->acceptedBuffers(), kBuffersThatFit + 2);
    EXPECT_FALSE(transcriber.isLive());
}

TEST_F(LiveFixture, StreamingOrCancellingOutsideASessionDoesNothing) {
    transcriber.cancelLive();
    stream(1);
    EXPECT_FALSE(transcriber.isLive());
    EXPECT_EQ(engine->liveStarts, 0);
    engine->livePerBuffer = {{finalResult("still works")}};
    start();
    stream(1);
    EXPECT_EQ(transcriber.finishLive(), "still works");
    stream(1);
    EXPECT_EQ(engine->acceptedBuffers(), 1u);
    EXPECT_FALSE(transcriber.isLive());
}

TEST_F(LiveFixture, CancelStopsASessionWithoutWaitingForItsAudio) {
    engine->livePerBuffer = {{finalResult("never seen")}};
    startBusy(5);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        engine->release();
    });
    transcriber.cancelLive();
    releaser.join();
    EXPECT_FALSE(transcriber.isLive());
    EXPECT_EQ(engine->acceptedBuffers(), 1u);  // the waiting buffers were discarded
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(engine->liveEnded(), 1);
}

// The recorder's consumer keeps feeding while the controller starts, finishes and cancels
// sessions: what a cancelled recording does. Run under ThreadSanitizer.
TEST_F(LiveFixture, AFeederKeepsStreamingWhileSessionsStartFinishAndAreCancelled) {
    engine->livePerBuffer = {{volatileResult("go")}, {finalResult("go on")}};
    std::atomic<bool> done{false};
    std::atomic<size_t> fed{0};
    std::thread feeder([&] {
        pthread_setname_np(pthread_self(), "live-feeder");
        AudioBuffer stereo(48000, 2, 960);
        stereo.setFrameLength(960);
        while (!done) {
            transcriber.streamLiveAudio(stereo);
            ++fed;
        }
    });
    constexpr int kRounds = 60;
    for (int round = 0; round < kRounds; ++round) {
        start();
        const size_t before = fed;
        while (fed < before + 2) std::this_thread::yield();  // the feeder is inside the session
        if (round % 2 == 0) {
            transcriber.cancelLive();
        } else {
            try {
                transcriber.finishLive();
            } catch (const LiveAudioOverrun&) {
                // The feeder outpaces the recognizer; the session still ends cleanly.
            }
        }
        EXPECT_FALSE(transcriber.isLive());
    }
    done = true;
    feeder.join();
    EXPECT_EQ(engine->liveStarts, kRounds);
    EXPECT_EQ(engine->liveEnded(), kRounds) << "every recognition was torn down";
    EXPECT_GT(engine->acceptedBuffers(), 0u);
}

TEST_F(LiveFixture, StartingAgainTearsDownTheLeftOverSession) {
    start();
    stream(1);
    start();
    EXPECT_EQ(engine->liveEnded(), 1);
    EXPECT_TRUE(transcriber.isLive());
    EXPECT_EQ(transcriber.finishLive(), "");
}

TEST_F(LiveFixture, ARecognizerFailureIsThrownByFinish) {
    engine->failOnAccept = true;
    start();
    stream(1);
    const auto error = thrownBy<Error>([&] { transcriber.finishLive(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "The recognizer broke down.");
    EXPECT_FALSE(transcriber.isLive());
    EXPECT_EQ(transcriber.finishLive(), "");  // the failure was cleaned up with the session
}

TEST_F(LiveFixture, BiasTermsBecomeContextAndNoTermsSetNone) {
    start();
    transcriber.finishLive();
    start({"Bjørn", "Kubernetes"});
    transcriber.finishLive();
    ASSERT_EQ(engine->contexts.size(), 2u);
    EXPECT_FALSE(engine->contexts[0].has_value());
    ASSERT_TRUE(engine->contexts[1].has_value());
    EXPECT_EQ(engine->contexts[1]->contextualStrings, (std::vector<std::string>{"Bjørn", "Kubernetes"}));
}

TEST_F(LiveFixture, UnconvertibleBuffersAreReportedAndOthersAreConvertedToMonoAtTheEngineRate) {
    start();
    AudioBuffer broken(0, 1, 16);
    broken.setFrameLength(16);
    const auto error = thrownBy<AudioBufferConverter::ConversionError>([&] { transcriber.streamLiveAudio(broken); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), AudioBufferConverter::ConversionError::Kind::unavailable);
    AudioBuffer stereo(48000, 2, 4800);
    stereo.setFrameLength(4800);
    for (int i = 0; i < 10; ++i) transcriber.streamLiveAudio(stereo);
    transcriber.finishLive();
    EXPECT_EQ(engine->acceptedBuffers(), 10u) << "nothing of the broken buffer was queued";
    // 0.1 s per buffer at 16 kHz, less what the resampler still holds at the end.
    EXPECT_GT(engine->acceptedSamples(), 15000u);
    EXPECT_LE(engine->acceptedSamples(), 16000u);
}

// Model installation and the automatic fallback.

const std::string kRecording =
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav";

struct ModelFixture : ::testing::Test {
    std::mutex mutex;
    std::vector<std::string> notices;
    std::unique_ptr<Transcriber> make(std::shared_ptr<ScriptedSpeechEngine> primary,
                                      const std::string& locale = "en-US",
                                      std::shared_ptr<ScriptedSpeechEngine> fallback = nullptr) {
        return std::make_unique<Transcriber>(locale, primary, fallback, [this](const std::string& n) {
            const std::lock_guard lock(mutex);
            notices.push_back(n);
        });
    }
    static std::shared_ptr<ScriptedSpeechEngine> downloadable(const std::string& says) {
        auto engine = std::make_shared<ScriptedSpeechEngine>();
        engine->installed = false;
        engine->installable = true;
        engine->fileResults = {finalResult(says)};
        return engine;
    }
    static std::shared_ptr<ScriptedSpeechEngine> ready(const std::string& says) {
        auto engine = std::make_shared<ScriptedSpeechEngine>();
        engine->fileResults = {finalResult(says)};
        return engine;
    }
};

TEST_F(ModelFixture, OnlyAMissingInstallableModelIsDownloadedAndOnlyOnce) {
    for (const bool installed : {true, false}) {
        SCOPED_TRACE(installed);
        auto engine = std::make_shared<ScriptedSpeechEngine>();
        engine->installed = installed;  // missing but with no way to install it
        EXPECT_NO_THROW(make(engine)->ensureModelInstalled());
        EXPECT_TRUE(notices.empty());
        EXPECT_EQ(engine->installCalls, 0);
    }
    auto engine = downloadable("heard");
    auto transcriber = make(engine, "de-DE");
    transcriber->ensureModelInstalled();
    transcriber->ensureModelInstalled();
    EXPECT_EQ(notices, std::vector<std::string>{"Downloading on-device speech model for de-DE\u2026"});
    EXPECT_EQ(engine->installCalls, 1);
}

TEST_F(ModelFixture, AFailedDownloadFallsBackOnceAndSaysWhyOrIsThrownWithoutFallback) {
    auto primary = downloadable("never");
    primary->installFails = true;
    EXPECT_THROW(make(primary)->ensureModelInstalled(), Error);
    primary->installCalls = 0;
    notices.clear();

    auto transcriber = make(primary, "en-US", ready("from the fallback"));
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the fallback");
    transcriber->ensureModelInstalled();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], "Downloading on-device speech model for en-US\u2026");
    EXPECT_NE(notices[1].find("The download was interrupted."), std::string::npos);
    EXPECT_EQ(primary->installCalls, 1);
}

TEST_F(ModelFixture, OneThreadDownloadsWhileRecognitionUsesTheFallbackInsteadOfWaiting) {
    auto primary = downloadable("from the model");
    primary->holdInstall();
    auto transcriber = make(primary, "en-US", ready("from the fallback"));
    std::thread launch([&] { transcriber->ensureModelInstalled(); });
    primary->waitUntilInstalling();
    std::thread firstDictation([&] { transcriber->ensureModelInstalled(); });  // waits for the download
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the fallback");
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the fallback");
    primary->releaseInstall();
    launch.join();
    firstDictation.join();
    EXPECT_EQ(primary->installCalls, 1);
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the model");
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "Downloading on-device speech model for en-US\u2026",
                           "Using the scripted speech engine for en-US until the scripted model is downloaded.",
                       }));
}

TEST_F(ModelFixture, ARecentFailedDownloadIsNotRetriedUnlessAsked) {
    const std::string offline = "The computer seems to be offline: the speech model could not be downloaded.";
    auto alone = downloadable("never");
    alone->deferral = offline;
    const auto error = thrownBy<Error>([&] { make(alone)->ensureModelInstalled(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), offline);

    auto deferred = downloadable("never");
    deferred->deferral = offline;
    auto transcriber = make(deferred, "en-US", ready("from the fallback"));
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the fallback");
    EXPECT_EQ(deferred->installCalls, 0);

    auto asked = downloadable("from the model");
    asked->deferral = offline;
    transcriber = make(asked, "en-US", ready("from the fallback"));
    transcriber->installModelNow();  // the console's download button
    EXPECT_EQ(transcriber->transcribeDetailed(kRecording, {}).text, "from the model");

    EXPECT_EQ(notices,
              (std::vector<std::string>{
                  "Using the scripted speech engine for en-US: the scripted model could not be installed. " + offline,
                  "Downloading on-device speech model for en-US\u2026",
              }));
    EXPECT_EQ(alone->installCalls + deferred->installCalls, 0);
}

TEST(LocaleIdentifiers, CompareWithoutCaseAndWithUnderscoreAsHyphen) {
    EXPECT_TRUE(sameLocale("EN-us", "en_US"));
    EXPECT_TRUE(sameLocale("zh-Hant-TW", "ZH_hant_tw"));
    EXPECT_FALSE(sameLocale("en-US", "en-GB"));
    EXPECT_FALSE(sameLocale("en", "en-US"));
    EXPECT_TRUE(isSupportedLocale("EN-us"));
    EXPECT_TRUE(isSupportedLocale("De_at"));
    EXPECT_FALSE(isSupportedLocale("xx-YY"));
    EXPECT_FALSE(isSupportedLocale(""));
}

// File transcription: pieces and candidate groups.

TEST(TranscriberFile, PiecesAreTrimmedAndJoinedAndBlankResultsAddNoPiece) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
    auto result = transcriber.transcribeDetailed(kRecording, {"term"});
    EXPECT_EQ(result.text, "");
    EXPECT_TRUE(result.confidenceIssues.empty());

    RecognitionResult doubtful{RecognizedText{{{" ", 0.1}}}, true, {}};
    RecognitionResult withIssue{
        RecognizedText{{{" send", 0.95}, {" files ", 0.3}}}, true, {RecognizedText::plain("send miles")}};
    engine->fileResults = {finalResult("  first part\n"), doubtful, withIssue};
    result = transcriber.transcribeDetailed(kRecording, {});
    EXPECT_EQ(result.text, "first part send files");
    ASSERT_EQ(result.confidenceIssues.size(), 1u);
    EXPECT_EQ(result.confidenceIssues[0].heard, "files");
    EXPECT_EQ(result.confidenceIssues[0].alternatives, std::vector<std::string>{"miles"});
    EXPECT_EQ(engine->recognizedSamples, 47840u);  // the whole 16 kHz recording
    ASSERT_EQ(engine->contexts.size(), 2u);
    EXPECT_TRUE(engine->contexts[0].has_value());
    EXPECT_FALSE(engine->contexts[1].has_value());
}

}  // namespace
}  // namespace vesk::test

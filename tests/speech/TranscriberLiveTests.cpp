#include "ScriptedSpeechEngine.h"
#include "speech/Transcriber.h"

#include <gtest/gtest.h>

#include <mutex>

namespace vesk::test {
namespace {

using speech::Transcriber;
using Update = std::pair<std::string, std::string>;

AudioBuffer engineBuffer(uint32_t frames = 1600) {
    AudioBuffer buffer(16000, 1, frames);
    buffer.setFrameLength(frames);
    return buffer;
}

struct LiveFixture : ::testing::Test {
    std::shared_ptr<ScriptedSpeechEngine> engine = std::make_shared<ScriptedSpeechEngine>();
    std::vector<std::string> notices;
    Transcriber transcriber{"en-US", engine, nullptr, [this](const std::string& n) { notices.push_back(n); }};
    std::mutex mutex;
    std::vector<Update> updates;

    Transcriber::UpdateHandler recorder() {
        return [this](const std::string& finalized, const std::string& provisional) {
            const std::lock_guard lock(mutex);
            updates.emplace_back(finalized, provisional);
        };
    }
};

TEST_F(LiveFixture, FinalResultsAccumulateAndAVolatileOneFollowsThem) {
    engine->livePerBuffer = {{finalResult("hello")}, {finalResult(" world")}, {volatileResult(" again and")}};
    transcriber.startLive({}, recorder());
    for (int i = 0; i < 3; ++i) transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(transcriber.finishLive(), "hello world again and");
    EXPECT_EQ(updates, (std::vector<Update>{{"hello", ""}, {"hello world", ""}, {"hello world", " again and"}}));
}

TEST_F(LiveFixture, AVolatileResultReplacesTheLastOneAndAFinalOneClearsIt) {
    engine->livePerBuffer = {{volatileResult("he")}, {volatileResult("hello")}, {finalResult("hello.")}};
    engine->liveOnFinish = {volatileResult("  ")};
    transcriber.startLive({}, recorder());
    for (int i = 0; i < 3; ++i) transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(transcriber.finishLive(), "hello.");
    EXPECT_EQ(updates, (std::vector<Update>{{"", "he"}, {"", "hello"}, {"hello.", ""}, {"hello.", "  "}}));
}

TEST_F(LiveFixture, MoreThanTwelveWaitingBuffersOverrunEvenWhenTextCameOut) {
    engine->livePerBuffer = {{finalResult("hello")}};
    engine->hold();
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    engine->waitUntilBusy();  // the first buffer is with the recognizer, the queue is empty
    for (size_t i = 0; i < Transcriber::kLiveQueueCapacity + 1; ++i) transcriber.streamLiveAudio(engineBuffer());
    engine->release();
    try {
        transcriber.finishLive();
        FAIL() << "an overrun must be reported";
    } catch (const speech::LiveAudioOverrun& overrun) {
        EXPECT_STREQ(overrun.what(), "Live recognition fell behind; using the complete recording instead.");
    }
    EXPECT_EQ(updates.front(), Update("hello", ""));
    EXPECT_LT(engine->acceptedBuffers(), Transcriber::kLiveQueueCapacity + 2);
    EXPECT_FALSE(transcriber.isLive());
}

TEST_F(LiveFixture, TwelveWaitingBuffersFitTheQueue) {
    engine->hold();
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    engine->waitUntilBusy();
    for (size_t i = 0; i < Transcriber::kLiveQueueCapacity; ++i) transcriber.streamLiveAudio(engineBuffer());
    engine->release();
    EXPECT_NO_THROW(transcriber.finishLive());
    EXPECT_EQ(engine->acceptedBuffers(), Transcriber::kLiveQueueCapacity + 1);
}

TEST_F(LiveFixture, StreamingOutsideASessionDoesNothing) {
    transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(engine->liveStarts, 0);
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(transcriber.finishLive(), "");
    transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(engine->acceptedBuffers(), 1u);
    EXPECT_FALSE(transcriber.isLive());
}

TEST_F(LiveFixture, CancelWhenIdleOnlyCleansUp) {
    transcriber.cancelLive();
    EXPECT_FALSE(transcriber.isLive());
    EXPECT_EQ(engine->liveStarts, 0);
    engine->livePerBuffer = {{finalResult("still works")}};
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    EXPECT_EQ(transcriber.finishLive(), "still works");
}

TEST_F(LiveFixture, CancelStopsASessionWithoutWaitingForItsAudio) {
    engine->hold();
    engine->livePerBuffer = {{finalResult("never seen")}};
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    engine->waitUntilBusy();
    for (int i = 0; i < 5; ++i) transcriber.streamLiveAudio(engineBuffer());
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

TEST_F(LiveFixture, StartingAgainTearsDownTheLeftOverSession) {
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    transcriber.startLive({}, recorder());
    EXPECT_EQ(engine->liveEnded(), 1);
    EXPECT_TRUE(transcriber.isLive());
    EXPECT_EQ(transcriber.finishLive(), "");
}

TEST_F(LiveFixture, ARecognizerFailureIsThrownByFinish) {
    engine->failOnAccept = true;
    transcriber.startLive({}, recorder());
    transcriber.streamLiveAudio(engineBuffer());
    try {
        transcriber.finishLive();
        FAIL() << "the failure must reach the caller";
    } catch (const Error& error) {
        EXPECT_EQ(error.description(), "The recognizer broke down.");
    }
    EXPECT_FALSE(transcriber.isLive());
    EXPECT_EQ(transcriber.finishLive(), "");  // the failure was cleaned up with the session
}

TEST_F(LiveFixture, BiasTermsBecomeContextAndNoTermsSetNone) {
    transcriber.startLive({}, recorder());
    transcriber.finishLive();
    transcriber.startLive({"Bjørn", "Kubernetes"}, recorder());
    transcriber.finishLive();
    ASSERT_EQ(engine->contexts.size(), 2u);
    EXPECT_FALSE(engine->contexts[0].has_value());
    ASSERT_TRUE(engine->contexts[1].has_value());
    EXPECT_EQ(engine->contexts[1]->contextualStrings, (std::vector<std::string>{"Bjørn", "Kubernetes"}));
}

TEST_F(LiveFixture, BuffersAreConvertedToMonoAtTheEngineRate) {
    transcriber.startLive({}, recorder());
    AudioBuffer stereo(48000, 2, 4800);
    stereo.setFrameLength(4800);
    for (int i = 0; i < 10; ++i) transcriber.streamLiveAudio(stereo);
    transcriber.finishLive();
    // 0.1 s per buffer at 16 kHz, less what the resampler still holds at the end.
    EXPECT_GT(engine->acceptedSamples(), 15000u);
    EXPECT_LE(engine->acceptedSamples(), 16000u);
}

TEST_F(LiveFixture, AnUnconvertibleBufferIsReportedAndNothingIsQueued) {
    transcriber.startLive({}, recorder());
    AudioBuffer broken(0, 1, 16);
    broken.setFrameLength(16);
    try {
        transcriber.streamLiveAudio(broken);
        FAIL() << "expected a conversion error";
    } catch (const speech::AudioBufferConverter::ConversionError& error) {
        EXPECT_EQ(error.kind(), speech::AudioBufferConverter::ConversionError::Kind::unavailable);
    }
    transcriber.finishLive();
    EXPECT_EQ(engine->acceptedBuffers(), 0u);
}

// Model installation and the automatic fallback.

TEST(TranscriberModel, AnInstalledModelNeedsNothing) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    std::vector<std::string> notices;
    Transcriber transcriber("en-US", engine, nullptr, [&](const std::string& n) { notices.push_back(n); });
    transcriber.ensureModelInstalled();
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(engine->installCalls, 0);
}

TEST(TranscriberModel, AMissingModelIsDownloadedWithTheAnnouncement) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    engine->installed = false;
    engine->installable = true;
    std::vector<std::string> notices;
    Transcriber transcriber("de-DE", engine, nullptr, [&](const std::string& n) { notices.push_back(n); });
    transcriber.ensureModelInstalled();
    EXPECT_EQ(notices, std::vector<std::string>{"Downloading on-device speech model for de-DE\u2026"});
    EXPECT_EQ(engine->installCalls, 1);
    transcriber.ensureModelInstalled();
    EXPECT_EQ(engine->installCalls, 1);
}

TEST(TranscriberModel, WithoutAnInstallationTheCallReturnsQuietly) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    engine->installed = false;
    std::vector<std::string> notices;
    Transcriber transcriber("en-US", engine, nullptr, [&](const std::string& n) { notices.push_back(n); });
    EXPECT_NO_THROW(transcriber.ensureModelInstalled());
    EXPECT_TRUE(notices.empty());
}

TEST(TranscriberModel, AFailedDownloadFallsBackOnceAndSaysWhy) {
    auto primary = std::make_shared<ScriptedSpeechEngine>();
    primary->installed = false;
    primary->installable = true;
    primary->installFails = true;
    auto fallback = std::make_shared<ScriptedSpeechEngine>();
    fallback->fileResults = {finalResult("from the fallback")};
    std::vector<std::string> notices;
    Transcriber transcriber("en-US", primary, fallback, [&](const std::string& n) { notices.push_back(n); });
    EXPECT_EQ(transcriber
                  .transcribeDetailed("/usr/share/pocketsphinx/test/data/librivox/"
                                      "sense_and_sensibility_01_austen_64kb-0880.wav",
                                      {})
                  .text,
              "from the fallback");
    transcriber.ensureModelInstalled();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], "Downloading on-device speech model for en-US\u2026");
    EXPECT_NE(notices[1].find("The download was interrupted."), std::string::npos);
    EXPECT_EQ(primary->installCalls, 1);
}

TEST(TranscriberModel, AFailedDownloadWithoutFallbackIsThrown) {
    auto primary = std::make_shared<ScriptedSpeechEngine>();
    primary->installed = false;
    primary->installable = true;
    primary->installFails = true;
    Transcriber transcriber("en-US", primary, nullptr, [](const std::string&) {});
    EXPECT_THROW(transcriber.ensureModelInstalled(), Error);
}

// File transcription: pieces and candidate groups.

TEST(TranscriberFile, PiecesAreTrimmedAndJoinedAndBlankResultsAddNoPiece) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    speech::RecognitionResult doubtful{speech::RecognizedText{{{" ", 0.1}}}, true, {}};
    speech::RecognitionResult withIssue{speech::RecognizedText{{{" send", 0.95}, {" files ", 0.3}}},
                                        true,
                                        {speech::RecognizedText::plain("send miles")}};
    engine->fileResults = {finalResult("  first part\n"), doubtful, withIssue};
    Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
    const auto result = transcriber.transcribeDetailed(
        "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav", {});
    EXPECT_EQ(result.text, "first part send files");
    ASSERT_EQ(result.confidenceIssues.size(), 1u);
    EXPECT_EQ(result.confidenceIssues[0].heard, "files");
    EXPECT_EQ(result.confidenceIssues[0].alternatives, std::vector<std::string>{"miles"});
    EXPECT_EQ(engine->recognizedSamples, 47840u);  // the whole 16 kHz recording
    ASSERT_EQ(engine->contexts.size(), 1u);
    EXPECT_FALSE(engine->contexts[0].has_value());
}

TEST(TranscriberFile, NoResultsGiveAnEmptyTranscription) {
    auto engine = std::make_shared<ScriptedSpeechEngine>();
    Transcriber transcriber("en-US", engine, nullptr, [](const std::string&) {});
    const auto result = transcriber.transcribeDetailed(
        "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav", {"term"});
    EXPECT_EQ(result.text, "");
    EXPECT_TRUE(result.confidenceIssues.empty());
    ASSERT_TRUE(engine->contexts.at(0).has_value());
}

TEST(TranscriberSelfTest, Passes) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Transcriber::runSelfTest());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "PASS: progressive live speech reporting\n");
}

}  // namespace
}  // namespace vesk::test

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <system_error>
#include <thread>

#include "app/Error.h"
#include "speech/AudioRecorder.h"
#include "speech/CaptureTestSupport.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FixedInputDevice;
using test::VirtualMicrophone;

std::vector<fs::path> filesIn(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(directory)) files.push_back(entry.path());
    return files;
}

// Where `excerpt` best lines up inside `signal` (by brute-force cross-correlation).
long bestOffset(const std::vector<float>& signal, const std::vector<float>& excerpt) {
    long best = -1;
    double bestScore = -1;
    for (size_t offset = 0; offset + excerpt.size() <= signal.size(); ++offset) {
        double score = 0;
        for (size_t i = 0; i < excerpt.size(); ++i) score += static_cast<double>(signal[offset + i]) * excerpt[i];
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<long>(offset);
        }
    }
    return best;
}

// Normalized correlation of `reference` with `signal` starting at `offset`.
double correlationAt(const std::vector<float>& signal, const std::vector<float>& reference, long offset) {
    double product = 0, referenceEnergy = 0, signalEnergy = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const long at = offset + static_cast<long>(i);
        const double x = at >= 0 && at < static_cast<long>(signal.size()) ? signal[at] : 0.0;
        product += x * reference[i];
        referenceEnergy += static_cast<double>(reference[i]) * reference[i];
        signalEnergy += x * x;
    }
    return product / std::sqrt(referenceEnergy * signalEnergy + 1e-12);
}

class RecorderOnVirtualMicrophone : public ::testing::Test {
protected:
    void SetUp() override {
        if (!microphone.running()) GTEST_SKIP() << "no virtual microphone: " << microphone.unavailableReason();
    }
    test::ScratchHome home;
    VirtualMicrophone microphone{16000, 1};
};

TEST_F(RecorderOnVirtualMicrophone, RecordsSpeechIntoTheFileAsItWasPlayed) {
    const auto speech = test::goForwardRecording();
    if (speech.empty()) GTEST_SKIP() << "pocketsphinx-testdata is not installed";
    const auto reference = test::readRawPcm16(speech);
    ASSERT_GT(reference.size(), 16000u);

    AudioRecorder recorder;
    auto stream = recorder.start();
    ASSERT_TRUE(microphone.playRaw(speech, 16000));
    std::this_thread::sleep_for(300ms);
    const auto location = recorder.stop();
    ASSERT_TRUE(location);

    const auto recorded = test::readRecording(location->string());
    ASSERT_TRUE(recorded.opened);
    EXPECT_EQ(recorded.format, SF_FORMAT_CAF | SF_FORMAT_FLOAT);
    EXPECT_EQ(recorded.sampleRate, 16000);
    ASSERT_EQ(recorded.channels, 1);
    ASSERT_GE(recorded.frames(), reference.size() - 800);

    // Find where the loudest quarter second of the speech sits in the recording, then the
    // whole utterance must line up there: no gap, repetition or garbling anywhere.
    size_t loudest = 0;
    double loudestEnergy = 0;
    for (size_t start = 0; start + 4000 <= reference.size(); start += 1000) {
        const double energy = test::rms({reference.begin() + start, reference.begin() + start + 4000});
        if (energy > loudestEnergy) loudestEnergy = energy, loudest = start;
    }
    const std::vector<float> excerpt(reference.begin() + loudest, reference.begin() + loudest + 4000);
    long offset = bestOffset(recorded.planes[0], excerpt) - static_cast<long>(loudest);
    // The virtual sink re-renders what it had already sent to its monitor when a player
    // joins, so the first few milliseconds of the playback can be missing from the
    // monitor itself; compare from the first sample the microphone could have heard.
    ASSERT_GE(offset, -800);
    size_t skipped = 0;
    if (offset < 0) skipped = static_cast<size_t>(-offset), offset = 0;
    const std::vector<float> heard(reference.begin() + skipped, reference.end());
    EXPECT_GT(correlationAt(recorded.planes[0], heard, offset), 0.98);
    // A recording shifted by one buffer does not line up: the check can tell.
    EXPECT_LT(correlationAt(recorded.planes[0], heard, offset + 2048), 0.5);

    // The live stream carried the same audio, in buffers of 2048 frames.
    std::vector<uint32_t> lengths;
    while (auto buffer = stream->next()) lengths.push_back(buffer->frameLength());
    ASSERT_FALSE(lengths.empty());
    size_t streamed = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
        // Only the last one, cut off by stop, may be shorter.
        if (i + 1 < lengths.size()) {
            EXPECT_EQ(lengths[i], 2048u);
        }
        streamed += lengths[i];
    }
    EXPECT_EQ(streamed, recorded.frames());
}

TEST(RecorderOnStereoMicrophone, FeedsThePipelineAndTheStreamInTheDevicesOwnFormat) {
    test::ScratchHome home;
    VirtualMicrophone stereo{44100, 2};
    if (!stereo.running()) GTEST_SKIP() << "no virtual microphone: " << stereo.unavailableReason();

    AudioRecorder recorder;
    std::mutex mutex;
    int loudFrames = 0;
    recorder.setOnVisualFrame([&](float level, const WaveformFrame&) {
        std::lock_guard lock(mutex);
        if (level > 0) ++loudFrames;
    });
    auto stream = recorder.start();
    ASSERT_TRUE(stereo.playSamples(test::sine(440, 0.6, 44100), 44100));

    auto first = stream->next(2000ms);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->sampleRate(), 44100);
    EXPECT_EQ(first->channelCount(), 2u);
    EXPECT_EQ(first->frameLength(), 2048u);
    const auto location = recorder.stop();
    ASSERT_TRUE(location);

    const auto recorded = test::readRecording(location->string());
    EXPECT_EQ(recorded.sampleRate, 44100);
    EXPECT_EQ(recorded.channels, 2);
    EXPECT_GT(test::rms(recorded.planes.at(1)), 0.1);
    std::lock_guard lock(mutex);
    EXPECT_GT(loudFrames, 0);
}

TEST_F(RecorderOnVirtualMicrophone, EachBufferIsInTheFileBeforeTheLiveStreamHasIt) {
    AudioRecorder recorder;
    auto stream = recorder.start();
    const auto location = *recorder.currentFileURL();
    const auto header = fs::file_size(location);
    // Runs on the capture thread right after each push, so it sees the file as the tap
    // left it at that moment.
    std::atomic<uintmax_t> streamedFrames = 0;
    std::atomic<int> fileBehind = 0;
    stream->setReadyHandler([&] {
        while (auto buffer = stream->tryNext()) streamedFrames += buffer->frameLength();
        std::error_code error;
        const auto size = fs::file_size(location, error);
        if (!error && (size - header) / sizeof(float) < streamedFrames) ++fileBehind;
    });
    ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.8, 16000), 16000));
    recorder.stop();
    EXPECT_GE(streamedFrames.load(), 3u * 2048);
    EXPECT_EQ(fileBehind, 0);
}

TEST_F(RecorderOnVirtualMicrophone, StartWhileRecordingReturnsAFinishedStreamAndKeepsTheRecording) {
    AudioRecorder recorder;
    auto first = recorder.start();
    const auto location = recorder.currentFileURL();
    auto second = recorder.start();
    EXPECT_TRUE(second->isFinished());
    EXPECT_FALSE(second->next(0ms));
    EXPECT_EQ(recorder.currentFileURL(), location);
    EXPECT_TRUE(recorder.isRecording());

    ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.4, 16000), 16000));
    EXPECT_TRUE(first->next(2000ms));
    EXPECT_FALSE(first->isFinished());
    const auto stopped = recorder.stop();
    EXPECT_EQ(stopped, location);
    EXPECT_GT(test::rms(test::readRecording(stopped->string()).planes.at(0)), 0.1);
    EXPECT_EQ(filesIn(home.root() / "tmp").size(), 1u);
}

TEST_F(RecorderOnVirtualMicrophone, StopReturnsTheCreatedFileOnceAndEndsTheStream) {
    AudioRecorder recorder;
    EXPECT_FALSE(recorder.stop());
    auto stream = recorder.start();
    const auto created = filesIn(home.root() / "tmp");
    ASSERT_EQ(created.size(), 1u);
    static const std::regex name(
        "project-vesk-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.caf");
    EXPECT_TRUE(std::regex_match(created[0].filename().string(), name)) << created[0];

    const auto stopped = recorder.stop();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(*stopped, created[0]);
    EXPECT_TRUE(fs::exists(*stopped));
    EXPECT_FALSE(recorder.stop());
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.currentFileURL());
    while (stream->tryNext()) {
    }
    EXPECT_TRUE(stream->isFinished());
    EXPECT_FALSE(stream->next(0ms));
}

TEST_F(RecorderOnVirtualMicrophone, CancelDeletesTheRecording) {
    AudioRecorder recorder;
    recorder.cancel();
    auto stream = recorder.start();
    const auto location = recorder.currentFileURL();
    ASSERT_TRUE(location && fs::exists(*location));
    recorder.cancel();
    EXPECT_FALSE(fs::exists(*location));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.stop());
    EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
}

TEST_F(RecorderOnVirtualMicrophone, StopSilencesTheDisplaysWithOneZeroFrame) {
    AudioRecorder recorder;
    const auto caller = std::this_thread::get_id();
    std::atomic<int> zeroFramesOnCaller = 0;
    recorder.setOnVisualFrame([&](float level, const WaveformFrame& frame) {
        if (std::this_thread::get_id() == caller && level == 0 && frame.full == WaveformFrame::zero().full)
            ++zeroFramesOnCaller;
    });
    recorder.start();
    recorder.stop();
    recorder.stop();
    EXPECT_EQ(zeroFramesOnCaller, 1);
}

TEST(RecorderOnFastMicrophone, ASlowConsumerLosesTheOldestBuffersButTheFileKeepsEverything) {
    // At a high rate buffers come quickly, so more than 128 arrive within a second or two.
    test::ScratchHome home;
    VirtualMicrophone fast{192000, 1};
    if (!fast.running()) GTEST_SKIP() << "no virtual microphone: " << fast.unavailableReason();
    std::vector<float> ramp(static_cast<size_t>(192000 * 2.2));
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = 0.8f * static_cast<float>(std::sin(i * 0.001 * (1 + i / 96000.0)));

    AudioRecorder recorder;
    auto stream = recorder.start();
    ASSERT_TRUE(fast.playSamples(ramp, 192000));
    const auto location = recorder.stop();
    ASSERT_TRUE(location);
    EXPECT_TRUE(recorder.streamingOverrun());

    std::vector<AudioBuffer> streamed;
    while (auto buffer = stream->next()) streamed.push_back(std::move(*buffer));
    ASSERT_EQ(streamed.size(), AudioRecorder::kStreamCapacity);

    const auto recorded = test::readRecording(location->string());
    const size_t capturedBuffers = (recorded.frames() + 2047) / 2048;
    ASSERT_GT(capturedBuffers, AudioRecorder::kStreamCapacity + 10);
    // What the consumer still got are exactly the newest buffers, in order, and the file
    // holds them at its end after all the ones the stream dropped.
    size_t streamedFrames = 0;
    for (const auto& buffer : streamed) streamedFrames += buffer.frameLength();
    size_t position = recorded.frames() - streamedFrames;
    for (const auto& buffer : streamed) {
        const auto samples = buffer.channelSamples(0);
        ASSERT_TRUE(std::equal(samples.begin(), samples.end(), recorded.planes[0].begin() + position));
        position += samples.size();
    }
    EXPECT_TRUE(recorder.takeStreamingOverrun());
    EXPECT_FALSE(recorder.takeStreamingOverrun());
}

TEST_F(RecorderOnVirtualMicrophone, AStreamThatKeepsUpReportsNoOverrun) {
    AudioRecorder recorder;
    auto stream = recorder.start();
    std::thread consumer([&] {
        while (stream->next()) {
        }
    });
    ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.5, 16000), 16000));
    recorder.stop();
    consumer.join();
    EXPECT_FALSE(recorder.streamingOverrun());
}

TEST_F(RecorderOnVirtualMicrophone, AnInputThatCannotBeOpenedLeavesTheRecorderIdleAndReady) {
    auto connection = PulseConnection::create();
    auto device = std::make_shared<FixedInputDevice>(InputFormat{"no-such-source", 16000, 1});
    AudioRecorder recorder(connection, device);
    try {
        recorder.start();
        FAIL() << "opening a missing source succeeded";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "PulseAudio");
    }
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.currentFileURL());
    EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
    EXPECT_FALSE(recorder.stop());

    device->setFormat(InputFormat{"vmic_sink.monitor", 16000, 1});
    auto stream = recorder.start();
    ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.3, 16000), 16000));
    EXPECT_TRUE(stream->next(2000ms));
    EXPECT_TRUE(recorder.stop());
}

TEST_F(RecorderOnVirtualMicrophone, AFileThatCannotBeCreatedFailsTheStartAndChangesNothing) {
    AudioRecorder recorder;
    const auto missing = home.root() / "no-such-directory";
    ::setenv("TMPDIR", missing.c_str(), 1);
    try {
        recorder.start();
        FAIL() << "recording into a missing directory succeeded";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "sndfile");
        EXPECT_NE(std::string(error.what()).find("recording file could not be created"), std::string::npos);
    }
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(microphone.recordStreamCount(), 0);
    EXPECT_FALSE(fs::exists(missing));

    ::setenv("TMPDIR", (home.root() / "tmp").c_str(), 1);
    recorder.start();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(recorder.stop());
}

TEST_F(RecorderOnVirtualMicrophone, MicrophoneAccessIsGrantedWhenTheDefaultSourceOpens) {
    EXPECT_TRUE(AudioRecorder::requestMicrophoneAccess());
    EXPECT_EQ(microphone.recordStreamCount(), 0);
}

class RecorderWithoutInput : public ::testing::TestWithParam<InputFormat> {
protected:
    test::ScratchHome home;
};

TEST_P(RecorderWithoutInput, FailsWithNoMicrophoneInputAndLeavesNoFile) {
    AudioRecorder recorder(PulseConnection::create(), std::make_shared<FixedInputDevice>(GetParam()));
    try {
        recorder.start();
        FAIL() << "start succeeded without an input";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "ProjectVesk");
        EXPECT_EQ(error.code(), 1);
        EXPECT_STREQ(error.what(), "No microphone input available");
    }
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, RecorderWithoutInput,
                         ::testing::Values(InputFormat{"", 0, 0}, InputFormat{"mic", 48000, 0},
                                           InputFormat{"mic", 0, 2}, InputFormat{"mic", -1, 1}),
                         [](const ::testing::TestParamInfo<InputFormat>& info) {
                             return "rate" + std::to_string(static_cast<int>(info.param.sampleRate) + 1) + "channels" +
                                    std::to_string(info.param.channelCount);
                         });

TEST(RecorderAcrossServerRestarts, ReconnectsWhenTheSoundServerComesBack) {
    test::ScratchHome home;
    auto connection = PulseConnection::create();
    AudioRecorder recorder(connection);
    {
        VirtualMicrophone first{16000, 1};
        if (!first.running()) GTEST_SKIP() << "no virtual microphone: " << first.unavailableReason();
        recorder.start();
        EXPECT_TRUE(recorder.stop());
    }
    test::ScopedVariable noServer("PULSE_SERVER", "unix:" + (home.root() / "gone").string());
    try {
        recorder.start();
        FAIL() << "start succeeded with the server gone";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), 1);
    }
    {
        VirtualMicrophone second{16000, 1};
        ASSERT_TRUE(second.running()) << second.unavailableReason();
        auto stream = recorder.start();
        ASSERT_TRUE(second.playSamples(test::sine(300, 0.3, 16000), 16000));
        EXPECT_TRUE(stream->next(2000ms));
        EXPECT_TRUE(recorder.stop());
    }
}

TEST(RecorderWithoutSoundServer, ReportsNoMicrophoneInputAndDeniesAccess) {
    test::ScratchHome home;
    test::ScopedVariable noServer("PULSE_SERVER", "unix:" + (home.root() / "no-server").string());
    AudioRecorder recorder;
    try {
        recorder.start();
        FAIL() << "start succeeded without a sound server";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), 1);
        EXPECT_STREQ(error.what(), "No microphone input available");
    }
    EXPECT_FALSE(AudioRecorder::requestMicrophoneAccess());
    EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
}

}  // namespace
}  // namespace vesk

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <system_error>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "audio/AmbientAudioMeter.h"
#include "audio/AudioRecorder.h"
#include "audio/CaptureTestSupport.h"
#include "audio/PulseConnection.h"
#include "core/Error.h"
#include "support/TestEnvironment.h"
#include "support/Thrown.h"
#include "support/VirtualMicrophone.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::BufferObserverSpy;
using test::FixedInputDevice;
using test::thrownBy;
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

// Finds where the loudest quarter second of `reference` sits in `recorded`; the whole
// utterance must then line up there: no gap, repetition or garbling anywhere.
void expectWholeSpeech(const std::vector<float>& recorded, const std::vector<float>& reference) {
    size_t loudest = 0;
    double loudestEnergy = 0;
    for (size_t start = 0; start + 4000 <= reference.size(); start += 1000) {
        const double energy = test::rms({reference.begin() + start, reference.begin() + start + 4000});
        if (energy > loudestEnergy) loudestEnergy = energy, loudest = start;
    }
    const std::vector<float> excerpt(reference.begin() + loudest, reference.begin() + loudest + 4000);
    long offset = bestOffset(recorded, excerpt) - static_cast<long>(loudest);
    // The virtual sink re-renders what it had already sent to its monitor when a player
    // joins, so the first few milliseconds of the playback can be missing from the
    // monitor itself; compare from the first sample the microphone could have heard.
    ASSERT_GE(offset, -800);
    size_t skipped = 0;
    if (offset < 0) skipped = static_cast<size_t>(-offset), offset = 0;
    const std::vector<float> heard(reference.begin() + skipped, reference.end());
    EXPECT_GT(correlationAt(recorded, heard, offset), 0.98);
}

class RecorderOnVirtualMicrophone : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(microphone.running()) << "no virtual microphone: " << microphone.unavailableReason();
    }
    test::RecordingHome home;
    VirtualMicrophone microphone{16000, 1};
};

TEST_F(RecorderOnVirtualMicrophone, RecordsSpeechIntoTheFileAsItWasPlayed) {
    const auto speech = test::goForwardRecording();
    ASSERT_FALSE(speech.empty()) << "pocketsphinx-testdata is not installed";
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

    expectWholeSpeech(recorded.planes[0], reference);

    // The live stream carried the same audio, in buffers of 2048 frames.
    std::vector<uint32_t> lengths;
    while (auto buffer = stream->next()) lengths.push_back(buffer->frameLength());
    ASSERT_FALSE(lengths.empty());
    // Only the last one, cut off by stop, may be shorter.
    EXPECT_TRUE(std::all_of(lengths.begin(), lengths.end() - 1, [](uint32_t n) { return n == 2048; }));
    EXPECT_EQ(std::accumulate(lengths.begin(), lengths.end(), size_t{0}), recorded.frames());
}

TEST_F(RecorderOnVirtualMicrophone, ARecordingStartedRightAfterACancelledOneIsWhole) {
    const auto speech = test::goForwardRecording();
    ASSERT_FALSE(speech.empty()) << "pocketsphinx-testdata is not installed";
    const auto reference = test::readRawPcm16(speech);

    // A double tap: the first press's recording is cancelled and the next begins at once.
    const auto connection = PulseConnection::create();
    AudioRecorder recorder(connection);
    AmbientAudioMeter meter(connection);
    recorder.start();
    std::this_thread::sleep_for(60ms);
    recorder.cancel();
    meter.start();  // the console is open: the level meter runs between recordings
    recorder.start();
    meter.stop();
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(microphone.playRaw(speech, 16000));
    std::this_thread::sleep_for(300ms);
    const auto location = recorder.stop();
    ASSERT_TRUE(location);
    const auto recorded = test::readRecording(location->string());
    ASSERT_TRUE(recorded.opened);
    expectWholeSpeech(recorded.planes[0], reference);
    std::filesystem::remove(*location);
}

TEST(RecorderOnStereoMicrophone, FeedsTheObserverAndTheStreamInTheDevicesOwnFormat) {
    test::RecordingHome home;
    VirtualMicrophone stereo{44100, 2};
    ASSERT_TRUE(stereo.running()) << "no virtual microphone: " << stereo.unavailableReason();

    AudioRecorder recorder;
    const auto observer = std::make_shared<BufferObserverSpy>();
    recorder.setBufferObserver(observer);
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
    EXPECT_GT(observer->loudest(), 0.3f);
    EXPECT_EQ(observer->sampleRate(), 44100);
    EXPECT_EQ(observer->channels(), 2u);
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
    EXPECT_FALSE(recorder.streamingOverrun()) << "a consumer that keeps up loses nothing";
}

TEST_F(RecorderOnVirtualMicrophone, StartTwiceKeepsTheRecordingAndStopOrCancelEndIt) {
    EXPECT_TRUE(AudioRecorder::requestMicrophoneAccess());
    EXPECT_EQ(microphone.recordStreamCount(), 0);
    AudioRecorder recorder;
    const auto observer = std::make_shared<BufferObserverSpy>();
    recorder.setBufferObserver(observer);
    EXPECT_FALSE(recorder.stop());
    recorder.cancel();
    EXPECT_TRUE(observer->events().empty());

    auto first = recorder.start();
    const auto created = filesIn(home.root() / "tmp");
    ASSERT_EQ(created.size(), 1u);
    static const std::regex name(
        "project-vesk-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.caf");
    EXPECT_TRUE(std::regex_match(created[0].filename().string(), name)) << created[0];
    EXPECT_EQ(recorder.currentFileURL(), created[0]);

    // Starting again hands out a finished stream and leaves the recording alone.
    auto second = recorder.start();
    EXPECT_TRUE(second->isFinished());
    EXPECT_FALSE(second->next(0ms));
    EXPECT_EQ(recorder.currentFileURL(), created[0]);
    EXPECT_TRUE(recorder.isRecording());
    ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.4, 16000), 16000));
    EXPECT_TRUE(first->next(2000ms));
    EXPECT_FALSE(first->isFinished());

    // Stop returns the file once, ends the stream and tells the observer once.
    EXPECT_EQ(recorder.stop(), created[0]);
    EXPECT_GT(test::rms(test::readRecording(created[0].string()).planes.at(0)), 0.1);
    EXPECT_FALSE(recorder.stop());
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.currentFileURL());
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"started", "stopped"}));
    EXPECT_GT(observer->buffers(), 0);
    while (first->tryNext()) {
    }
    EXPECT_TRUE(first->isFinished());
    EXPECT_FALSE(first->next(0ms));
    EXPECT_EQ(filesIn(home.root() / "tmp").size(), 1u);

    // Cancel deletes the recording instead.
    fs::remove(created[0]);
    recorder.start();
    const auto cancelled = recorder.currentFileURL();
    ASSERT_TRUE(cancelled && fs::exists(*cancelled));
    recorder.cancel();
    EXPECT_FALSE(fs::exists(*cancelled));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.stop());
    EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"started", "stopped", "started", "stopped"}));
}

// Sets the process's file-creation mask for the object's lifetime.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : saved_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(saved_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t saved_;
};

// Recordings go to the runtime directory only where it is what it should be (absolute,
// a directory, this user's, closed to everyone else), and otherwise to the temporary one;
// either way only their owner may read them, whatever the umask.
TEST_F(RecorderOnVirtualMicrophone, RecordsPrivatelyIntoTheRuntimeDirectoryOrElseTheTemporaryOne) {
    const auto directory = [&](const std::string& name, fs::perms permissions) {
        const fs::path path = home.root() / name;
        fs::create_directories(path);
        fs::permissions(path, permissions);
        return path.string();
    };
    const fs::path temporary = home.recordings();
    std::ofstream(home.root() / "plain-file") << "not a directory";
    struct Row {
        std::optional<std::string> runtime;
        fs::path expected;
    };
    std::vector<Row> rows = {
        {std::nullopt, temporary},
        {"", temporary},
        {"run", temporary},  // relative
        {(home.root() / "absent").string(), temporary},
        {(home.root() / "plain-file").string(), temporary},
        {directory("group", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec), temporary},
        {directory("shared", fs::perms::all | fs::perms::sticky_bit), temporary},
        {directory("run", fs::perms::owner_all), home.root() / "run"},
    };
    // Someone else's private directory; only the superuser can make one.
    if (const auto foreign = directory("foreign", fs::perms::owner_all);
        ::chown(foreign.c_str(), 65534, 65534) == 0 && ::geteuid() != 65534)
        rows.push_back({foreign, temporary});

    ScopedUmask permissive(0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.runtime.value_or("(unset)"));
        test::ScopedVariable runtime("XDG_RUNTIME_DIR", row.runtime);
        EXPECT_EQ(AudioRecorder::recordingDirectory(), row.expected);
        AudioRecorder recorder;
        recorder.start();
        const auto location = recorder.stop();
        ASSERT_TRUE(location);
        EXPECT_EQ(location->parent_path(), row.expected);
        EXPECT_EQ(fs::status(*location).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_TRUE(test::readRecording(location->string()).opened);
        fs::remove(*location);
    }
}

TEST_F(RecorderOnVirtualMicrophone, ARecorderDestroyedWhileRecordingLeavesNoFile) {
    const auto observer = std::make_shared<BufferObserverSpy>();
    std::shared_ptr<AudioBufferStream> stream;
    fs::path location;
    {
        AudioRecorder recorder;
        recorder.setBufferObserver(observer);
        stream = recorder.start();
        location = recorder.currentFileURL().value();
        ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.3, 16000), 16000));
        ASSERT_TRUE(stream->next(2000ms));
        ASSERT_TRUE(fs::exists(location));
    }
    EXPECT_FALSE(fs::exists(location));
    EXPECT_TRUE(filesIn(home.recordings()).empty());
    while (stream->tryNext()) {
    }
    EXPECT_TRUE(stream->isFinished());
    EXPECT_EQ(observer->events(), (std::vector<std::string>{"started", "stopped"}));
    EXPECT_EQ(microphone.recordStreamCount(), 0);
}

TEST(RecorderOnFastMicrophone, ASlowConsumerLosesTheOldestBuffersButTheFileKeepsEverything) {
    // At a high rate buffers come quickly, so more than 128 arrive within a second or two.
    test::RecordingHome home;
    VirtualMicrophone fast{192000, 1};
    ASSERT_TRUE(fast.running()) << "no virtual microphone: " << fast.unavailableReason();
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

// A start that fails on the input or on the file leaves the recorder idle, with no file
// and no stream, and a later start with the fault gone records.
TEST_F(RecorderOnVirtualMicrophone, AFailedStartChangesNothingAndALaterStartWorks) {
    auto device = std::make_shared<FixedInputDevice>(InputFormat{"no-such-source", 16000, 1});
    AudioRecorder recorder(PulseConnection::create(), device);
    const auto missing = home.root() / "no-such-directory";
    for (const bool fileFails : {false, true}) {
        SCOPED_TRACE(fileFails ? "file" : "input");
        if (fileFails) ::setenv("TMPDIR", missing.c_str(), 1);
        const auto error = thrownBy<Error>([&] { recorder.start(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), fileFails ? "POSIX" : "PulseAudio");
        if (fileFails) {
            EXPECT_NE(std::string(error->what()).find("recording file could not be created"), std::string::npos);
        }
        EXPECT_FALSE(recorder.isRecording());
        EXPECT_FALSE(recorder.currentFileURL());
        EXPECT_FALSE(recorder.stop());
        EXPECT_EQ(microphone.recordStreamCount(), 0);
        EXPECT_TRUE(filesIn(home.root() / "tmp").empty());
        EXPECT_FALSE(fs::exists(missing));

        ::setenv("TMPDIR", (home.root() / "tmp").c_str(), 1);
        device->setFormat(InputFormat{"vmic_sink.monitor", 16000, 1});
        auto stream = recorder.start();
        ASSERT_TRUE(microphone.playSamples(test::sine(300, 0.3, 16000), 16000));
        EXPECT_TRUE(stream->next(2000ms));
        EXPECT_TRUE(recorder.stop());
        fs::remove_all(home.root() / "tmp");
        fs::create_directories(home.root() / "tmp");
    }
}

void expectNoMicrophoneInput(AudioRecorder& recorder, const fs::path& temporary) {
    const auto error = thrownBy<Error>([&] { recorder.start(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "ProjectVesk");
    EXPECT_EQ(error->code(), 1);
    EXPECT_STREQ(error->what(), "No microphone input available");
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(filesIn(temporary).empty());
}

TEST(RecorderWithoutInput, FailsWithNoMicrophoneInputAndLeavesNoFile) {
    test::RecordingHome home;
    for (const InputFormat& format :
         {InputFormat{"", 0, 0}, InputFormat{"mic", 48000, 0}, InputFormat{"mic", 0, 2}, InputFormat{"mic", -1, 1}}) {
        SCOPED_TRACE(format.sampleRate);
        SCOPED_TRACE(format.channelCount);
        AudioRecorder recorder(PulseConnection::create(), std::make_shared<FixedInputDevice>(format));
        expectNoMicrophoneInput(recorder, home.root() / "tmp");
    }
}

// Without a sound server there is no input and no access; when one comes back the same
// recorder reconnects.
TEST(RecorderAcrossServerRestarts, ReconnectsWhenTheSoundServerComesBack) {
    test::RecordingHome home;
    AudioRecorder recorder(PulseConnection::create());
    {
        VirtualMicrophone first{16000, 1};
        ASSERT_TRUE(first.running()) << "no virtual microphone: " << first.unavailableReason();
        recorder.start();
        EXPECT_TRUE(recorder.stop());
    }
    fs::remove_all(home.root() / "tmp");
    fs::create_directories(home.root() / "tmp");
    {
        test::ScopedVariable noServer("PULSE_SERVER", "unix:" + (home.root() / "gone").string());
        expectNoMicrophoneInput(recorder, home.root() / "tmp");
        EXPECT_FALSE(AudioRecorder::requestMicrophoneAccess());
    }
    VirtualMicrophone second{16000, 1};
    ASSERT_TRUE(second.running()) << second.unavailableReason();
    auto stream = recorder.start();
    ASSERT_TRUE(second.playSamples(test::sine(300, 0.3, 16000), 16000));
    EXPECT_TRUE(stream->next(2000ms));
    EXPECT_TRUE(recorder.stop());
}

}  // namespace
}  // namespace vesk

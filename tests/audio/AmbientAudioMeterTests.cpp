#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "core/Error.h"
#include "audio/AmbientAudioMeter.h"
#include "audio/AudioRecorder.h"
#include "audio/CaptureTestSupport.h"
#include "audio/SystemSounds.h"
#include "support/Thrown.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::FixedInputDevice;
using test::thrownBy;
using test::VirtualMicrophone;

class MeterOnVirtualMicrophone : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(microphone.running()) << "no virtual microphone: " << microphone.unavailableReason();
    }
    VirtualMicrophone microphone{16000, 1};
};

// Collects what the meter's log says while it is alive.
class LogCapture {
public:
    LogCapture() { previous_ = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> captured;
        return captured;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        lines().push_back(message.toStdString());
    }
    QtMessageHandler previous_ = nullptr;
};

TEST_F(MeterOnVirtualMicrophone, ForwardsLevelsFromOneStreamAndSilencesOnceWhenStopped) {
    AmbientAudioMeter meter;
    const auto caller = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable heard;
    float loudest = 0;
    std::atomic<int> zeroFrames = 0;
    meter.setOnVisualFrame([&](float level, const WaveformFrame& frame) {
        if (std::this_thread::get_id() == caller && level == 0 && frame.spectrum == WaveformFrame::zero().spectrum)
            ++zeroFrames;
        std::lock_guard lock(mutex);
        loudest = std::max(loudest, level);
        heard.notify_all();
    });
    LogCapture log;
    meter.start();
    meter.start();
    EXPECT_TRUE(meter.isRunning());
    EXPECT_EQ(microphone.recordStreamCount(), 1);
    EXPECT_EQ(std::count(LogCapture::lines().begin(), LogCapture::lines().end(),
                         "Project Vesk ambient microphone engine started (sampleRate=16000, channels=1)"),
              1);
    ASSERT_TRUE(microphone.playSamples(test::sine(500, 0.5, 16000), 16000));
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(heard.wait_for(lock, 2s, [&] { return loudest > 0; }));
    }
    meter.stop();
    meter.stop();
    EXPECT_FALSE(meter.isRunning());
    EXPECT_EQ(zeroFrames, 1);
    EXPECT_EQ(microphone.recordStreamCount(), 0);
}

TEST_F(MeterOnVirtualMicrophone, AFailedStartLeavesItStoppedAndALaterStartWorks) {
    auto device = std::make_shared<FixedInputDevice>(InputFormat{"no-such-source", 16000, 1});
    AmbientAudioMeter meter(PulseConnection::create(), device);
    EXPECT_THROW(meter.start(), Error);
    EXPECT_FALSE(meter.isRunning());
    EXPECT_EQ(microphone.recordStreamCount(), 0);

    device->setFormat(InputFormat{"vmic_sink.monitor", 16000, 1});
    meter.start();
    EXPECT_TRUE(meter.isRunning());
    EXPECT_EQ(microphone.recordStreamCount(), 1);
    meter.stop();
}

TEST_F(MeterOnVirtualMicrophone, SharesOneConnectionWithTheRecorderAndTheSounds) {
    test::ScratchHome home;
    auto connection = PulseConnection::create();
    AmbientAudioMeter meter(connection);
    AudioRecorder recorder(connection);
    SystemSounds sounds(connection);
    meter.start();
    recorder.start();
    sounds.play("Tink");
    EXPECT_EQ(microphone.recordStreamCount(), 2);
    std::string clients;
    ASSERT_TRUE(microphone.pactl({"list", "clients"}, &clients));
    size_t ours = 0;
    for (size_t at = clients.find("application.name = \"Project Vesk\""); at != std::string::npos;
         at = clients.find("application.name = \"Project Vesk\"", at + 1))
        ++ours;
    EXPECT_EQ(ours, 1u);
    recorder.cancel();
    meter.stop();
    EXPECT_EQ(microphone.recordStreamCount(), 0);
}

TEST(MeterWithoutInput, FailsWithCodeTwo) {
    for (const InputFormat& format : {InputFormat{"", 0, 0}, InputFormat{"mic", 48000, 0}}) {
        AmbientAudioMeter meter(PulseConnection::create(), std::make_shared<FixedInputDevice>(format));
        const auto error = thrownBy<Error>([&] { meter.start(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), "ProjectVesk");
        EXPECT_EQ(error->code(), 2);
        EXPECT_STREQ(error->what(), "No microphone input available");
        EXPECT_FALSE(meter.isRunning());
        int frames = 0;
        meter.setOnVisualFrame([&](float, const WaveformFrame&) { ++frames; });
        meter.stop();
        EXPECT_EQ(frames, 0) << "a meter that never ran has nothing to silence";
    }
}

}  // namespace
}  // namespace vesk

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/CaptureTestSupport.h"
#include "audio/SystemSounds.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::VirtualMicrophone;

constexpr unsigned kRate = SystemSounds::kSampleRate;

TEST(SoundSynthesis, EachNamedSoundIsShortAudibleAndFadesOut) {
    for (const char* name : {"Pop", "Basso", "Tink"}) {
        const auto samples = SystemSounds::synthesize(name);
        ASSERT_FALSE(samples.empty()) << name;
        EXPECT_LT(samples.size(), kRate / 2) << name << " is longer than half a second";
        const float peak = *std::max_element(samples.begin(), samples.end(),
                                             [](float a, float b) { return std::abs(a) < std::abs(b); });
        EXPECT_GT(std::abs(peak), 0.2f) << name;
        EXPECT_LE(std::abs(peak), 1.0f) << name;
        // No click at the end: it fades out.
        EXPECT_LT(std::abs(samples.back()), 0.02f) << name;
    }
    EXPECT_TRUE(SystemSounds::synthesize("Glass").empty());
    EXPECT_TRUE(SystemSounds::synthesize("pop").empty());
}

class SoundsOnVirtualServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running()) << "no virtual sound server: " << server.unavailableReason();
    }
    // What the sink plays while `action` runs and shortly after.
    template <typename Action>
    std::vector<float> hear(Action action) {
        VirtualMicrophone::Listener listener(server);
        EXPECT_TRUE(listener.started());
        action();
        std::this_thread::sleep_for(700ms);
        return listener.finish();
    }
    VirtualMicrophone server{kRate, 1};
};

// The first sound is asked for before the new connection is up and must still play.
TEST_F(SoundsOnVirtualServer, EachNamedSoundIsHeardOnTheDefaultSinkAndUnknownNamesAreNot) {
    SystemSounds sounds(PulseConnection::create());
    const auto tink = hear([&] { sounds.play("Tink"); });
    const auto basso = hear([&] { sounds.play("Basso"); });
    const auto pop = hear([&] { sounds.play("Pop"); });
    const auto unknown = hear([&] {
        for (const char* name : {"Sosumi", "", "tink"}) sounds.play(name);
    });
    EXPECT_LT(test::rms(unknown), 1e-4);
    // A sounds object may go while its sound plays; what is playing is cut, not leaked.
    const auto cut = hear([&] {
        SystemSounds gone(PulseConnection::create());
        gone.play("Basso");
        std::this_thread::sleep_for(250ms);
    });
    EXPECT_GT(test::rms(cut), 0.02);

    EXPECT_GT(test::rms(tink), 0.01);
    EXPECT_GT(test::rms(basso), 0.05);
    EXPECT_GT(test::rms(pop), 0.01);
    // Each recording carries its own sound, not another one.
    EXPECT_GT(test::toneEnergy(tink, 3520, kRate), 20 * test::toneEnergy(tink, 110, kRate));
    EXPECT_GT(test::toneEnergy(basso, 110, kRate), 20 * test::toneEnergy(basso, 3520, kRate));
    double popBand = 0;
    for (double f = 350; f <= 900; f += 50) popBand += test::toneEnergy(pop, f, kRate);
    EXPECT_GT(popBand, 20 * (test::toneEnergy(pop, 110, kRate) + test::toneEnergy(pop, 3520, kRate)));
}

}  // namespace
}  // namespace vesk

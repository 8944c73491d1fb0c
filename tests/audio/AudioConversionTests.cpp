#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "audio/AudioFileWriter.h"
#include "support/TestEnvironment.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vesk::test {
namespace {

using Kind = AudioBufferConverter::ConversionError::Kind;

constexpr AudioFormat kEngine{16000, 1};

AudioBuffer constant(double rate, std::vector<float> perChannel, uint32_t frames) {
    AudioBuffer buffer(rate, static_cast<uint32_t>(perChannel.size()), frames);
    buffer.setFrameLength(frames);
    for (uint32_t c = 0; c < perChannel.size(); ++c)
        std::fill(buffer.channel(c), buffer.channel(c) + frames, perChannel[c]);
    return buffer;
}

TEST(AudioBufferConverter, ConvertedBuffersGetTheRateRatioRoundedUpAndAtLeastOneFrame) {
    struct Row {
        double rate;
        uint32_t frames;
        uint32_t capacity;
    };
    AudioBufferConverter converter;
    for (const Row row : {Row{48000, 4800, 1600}, Row{44100, 4096, 1487}, Row{44100, 0, 1}, Row{8000, 3, 6}}) {
        SCOPED_TRACE(std::to_string(row.rate) + " Hz, " + std::to_string(row.frames) + " frames");
        EXPECT_EQ(AudioBufferConverter::outputCapacity(row.rate, 16000, row.frames), row.capacity);
        const auto converted = converter.convert(constant(row.rate, {0.1f}, row.frames), kEngine);
        ASSERT_TRUE(converted.has_value());
        EXPECT_EQ(converted->frameCapacity(), row.capacity);
        EXPECT_LE(converted->frameLength(), row.frames == 0 ? 0u : row.capacity);
        EXPECT_EQ(converted->sampleRate(), 16000);
    }
    // A buffer already in the engine's format passes through untouched.
    AudioBufferConverter fresh;
    EXPECT_FALSE(fresh.convert(constant(16000, {0.25f}, 512), kEngine).has_value());
    EXPECT_FALSE(fresh.hasCachedConverter());
}

TEST(AudioBufferConverter, StereoIsMixedDownToTheMeanOfItsChannels) {
    AudioBufferConverter converter;
    float last = 0;
    for (int i = 0; i < 20; ++i) {  // past the resampler's start-up
        const auto out = converter.convert(constant(48000, {0.6f, 0.2f}, 4800), kEngine);
        ASSERT_GT(out->frameLength(), 0u);
        last = out->channel(0)[out->frameLength() - 1];
    }
    EXPECT_NEAR(last, 0.4f, 0.01f);
    const auto same = converter.convert(constant(16000, {0.6f, -0.6f}, 1000), kEngine);
    ASSERT_TRUE(same.has_value());
    EXPECT_EQ(same->frameLength(), 1000u);  // only the channels change: no resampling
    EXPECT_NEAR(same->channel(0)[500], 0.0f, 1e-6f);
}

TEST(AudioBufferConverter, SuccessiveBuffersAreResampledWithoutSeams) {
    // A 440 Hz tone cut into 4096-frame buffers must come out as one continuous tone.
    AudioBufferConverter converter;
    std::vector<float> out;
    const double rate = 44100;
    for (int b = 0; b < 8; ++b) {
        AudioBuffer buffer(rate, 1, 4096);
        buffer.setFrameLength(4096);
        for (uint32_t f = 0; f < 4096; ++f)
            buffer.channel(0)[f] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * (b * 4096 + f) / rate));
        const auto converted = converter.convert(buffer, kEngine);
        out.insert(out.end(), converted->channel(0), converted->channel(0) + converted->frameLength());
    }
    ASSERT_GT(out.size(), 10000u);
    float largestStep = 0;
    for (size_t i = 2000; i + 1 < out.size(); ++i) largestStep = std::max(largestStep, std::abs(out[i + 1] - out[i]));
    // The steepest step of a 0.5-amplitude 440 Hz tone at 16 kHz is 2π·440/16000·0.5 ≈ 0.087.
    EXPECT_LT(largestStep, 0.1f);
}

TEST(AudioBufferConverter, ImpossibleConversionsAreUnavailableAndEmptyTheCache) {
    AudioBufferConverter converter;
    converter.convert(constant(48000, {0.1f}, 480), kEngine);
    EXPECT_TRUE(converter.hasCachedConverter());
    const auto error = thrownBy<AudioBufferConverter::ConversionError>([&] {
        converter.convert(constant(48000, {0.1f, 0.1f, 0.1f}, 480), AudioFormat{16000, 2});
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::unavailable);
    EXPECT_FALSE(converter.hasCachedConverter());
    EXPECT_THROW(converter.convert(constant(0, {0.1f}, 16), kEngine), AudioBufferConverter::ConversionError);
}

// A file read, mixed down and resampled piece by piece gives what converting the whole
// recording at once gives, across the pieces' seams and up to its last sample.
TEST(MonoSamples, AFileConvertedPieceByPieceMatchesTheWholeRecordingConverted) {
    const ScratchHome home;
    struct Row {
        double rate;
        uint32_t channels;
    };
    for (const Row row : {Row{48000, 2}, Row{44100, 1}, Row{16000, 2}, Row{16000, 1}, Row{8000, 3}}) {
        SCOPED_TRACE(std::to_string(row.rate) + " Hz, " + std::to_string(row.channels) + " channels");
        // A recording file is always new: the writer refuses to replace one.
        const auto path = home.root() / ("tone-" + std::to_string(static_cast<int>(row.rate)) + "-" +
                                         std::to_string(row.channels) + ".caf");
        {
            const auto frames = static_cast<uint32_t>(row.rate * 1.3);  // several pieces and a partial one
            AudioBuffer tone(row.rate, row.channels, frames);
            tone.setFrameLength(frames);
            for (uint32_t c = 0; c < row.channels; ++c)
                for (uint32_t f = 0; f < frames; ++f)
                    tone.channel(c)[f] = static_cast<float>(0.4 * std::sin(2 * M_PI * (300 + 50 * c) * f / row.rate));
            AudioFileWriter writer(path, row.rate, row.channels);
            ASSERT_TRUE(writer.write(tone));
        }
        AudioFileReader reader(path);
        const std::vector<float> pieces = readMonoSamples(reader, 16000);
        const std::vector<float> whole = monoSamples(readAudioFile(path), 16000);
        ASSERT_NEAR(static_cast<double>(pieces.size()), static_cast<double>(whole.size()), 2.0);
        ASSERT_NEAR(static_cast<double>(pieces.size()), 16000 * 1.3, 2.0);
        float largest = 0;
        for (size_t i = 0; i < std::min(pieces.size(), whole.size()); ++i)
            largest = std::max(largest, std::abs(pieces[i] - whole[i]));
        EXPECT_LT(largest, 1e-3f);
    }
}

TEST(MonoSamples, AWholeRecordingKeepsItsLength) {
    const auto samples = monoSamples(constant(44100, {0.3f, 0.1f}, 44100), 16000);
    EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, 2.0);
    EXPECT_NEAR(samples[8000], 0.2f, 0.01f);
}

}  // namespace
}  // namespace vesk::test

#include "visualization/TestSignals.h"
#include "visualization/WaveformAnalysis.h"
#include "visualization/WaveformSampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace vesk {
namespace {

AudioBuffer bufferOf(const std::vector<float>& samples, double rate = 48000.0) {
    return AudioBuffer::fromInterleaved(rate, 1, samples);
}

// Alternating +a, -a: exactly rms a.
AudioBuffer squareOfRms(float rms, uint32_t frames = 2048) {
    std::vector<float> samples(frames);
    for (uint32_t i = 0; i < frames; ++i) samples[i] = i % 2 == 0 ? rms : -rms;
    return bufferOf(samples);
}

std::size_t loudestBin(const SpectrumAnalyzer::Spectrum& spectrum) {
    return static_cast<std::size_t>(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin());
}

float rms(std::span<const float> values) {
    return std::sqrt(std::inner_product(values.begin(), values.end(), values.begin(), 0.0f) / values.size());
}

TEST(WaveformLevel, MapsDecibelsLinearlyBetweenMinus55AndZero) {
    std::vector<float> strided(4096, 0.0f);  // long buffers are read every 8th sample
    for (std::size_t i = 0; i < strided.size(); i += 8) strided[i] = 1.0f;
    std::vector<float> halfOn(256, 0.0f);  // below 512 frames every sample counts
    for (std::size_t i = 0; i < halfOn.size(); i += 2) halfOn[i] = 1.0f;
    std::vector<float> secondChannelOnly;
    for (int i = 0; i < 1024; ++i) secondChannelOnly.insert(secondChannelOnly.end(), {0.0f, 1.0f});
    const struct {
        const char* name;
        AudioBuffer buffer;
        float level;
    } rows[] = {
        {"full scale", squareOfRms(1.0f), 1.0f},
        {"-60 dB", squareOfRms(0.001f), 0.0f},
        {"-20 dB", squareOfRms(0.1f), 35.0f / 55.0f},
        {"over full scale", squareOfRms(2.0f), 1.0f},
        {"digital silence", squareOfRms(0.0f), 0.0f},
        {"empty", AudioBuffer{}, 0.0f},
        {"no frames yet", AudioBuffer(48000, 1, 512), 0.0f},
        {"strided", bufferOf(strided), 1.0f},
        {"every sample", bufferOf(halfOn), (20.0f * std::log10(std::sqrt(0.5f)) + 55.0f) / 55.0f},
        {"first channel only", AudioBuffer::fromInterleaved(48000, 2, secondChannelOnly), 0.0f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NEAR(WaveformSampler::normalizedLevel(row.buffer), row.level, 1e-5);
    }
}

TEST(SignedSamples, AreCentredChunkMeansClampedToUnitRange) {
    // A constant offset disappears entirely.
    const auto flat = WaveformSampler::signedSamples(bufferOf(std::vector<float>(2048, 0.5f)));
    for (float v : flat) EXPECT_NEAR(v, 0.0f, 1e-6);

    // A quarter at +1 and the rest at -1: the chunk mean is -0.5, so +1 becomes 1.5 (clamped
    // to 1) and -1 becomes -0.5.
    std::vector<float> samples(1536, -1.0f);
    std::fill(samples.begin(), samples.begin() + 384, 1.0f);
    const auto centred = WaveformSampler::signedSamples(bufferOf(samples));
    EXPECT_FLOAT_EQ(centred.front(), 1.0f);
    EXPECT_FLOAT_EQ(centred.back(), -0.5f);

    EXPECT_EQ(WaveformSampler::signedSamples(AudioBuffer{}), decltype(flat){});
}

TEST(Downsample, AveragesSlicesAndRepeatsSamplesOfShortInputs) {
    std::vector<float> ramp(100);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 100.0f;
    const auto points = WaveformBandSplitter::downsample(ramp);
    for (std::size_t b = 0; b < points.size(); ++b) EXPECT_FLOAT_EQ(points[b], ramp[b * 100 / 384]) << b;

    std::vector<float> pairs(768);
    for (std::size_t i = 0; i < pairs.size(); ++i) pairs[i] = i % 2 == 0 ? 3.0f : 0.0f;
    const auto averaged = WaveformBandSplitter::downsample(pairs);
    EXPECT_TRUE(std::all_of(averaged.begin(), averaged.end(), [](float v) { return v == 1.0f; }))
        << "means of 1.5 are clamped to 1";

    EXPECT_EQ(WaveformBandSplitter::downsample({}), decltype(points){});
}

TEST(BandSplitter, AHundredFrameBufferFillsAllFourBands) {
    WaveformBandSplitter splitter;
    const auto frame = splitter.frame(makeSineBuffer(48000, 100, 1000, 0.5f));
    // Each point repeats one sample; bins 0 and 1 both read sample 0.
    EXPECT_EQ(frame.full[0], frame.full[1]);
    EXPECT_GT(*std::max_element(frame.full.begin(), frame.full.end()), 0.3f);
    EXPECT_GT(rms(frame.mid), 0.0f);
    EXPECT_GT(rms(frame.high), 0.0f);
}

TEST(BandSplitter, UnreadableBuffersGiveTheZeroFrameAndKeepFiltersAndSmoothing) {
    WaveformBandSplitter splitter;
    splitter.frame(makeSineBuffer(48000, 2048, 440, 0.5f));
    const float dc = splitter.dcState();
    const auto smoothed = splitter.spectrumAnalyzer().smoothed();
    ASSERT_NE(dc, 0.0f);
    EXPECT_EQ(splitter.frame(AudioBuffer{}), WaveformFrame::zero());
    EXPECT_EQ(splitter.frame(AudioBuffer(48000, 1, 64)), WaveformFrame::zero());  // no frames
    EXPECT_EQ(splitter.frame(bufferOf(std::vector<float>(512, 0.7f), 0.0)), WaveformFrame::zero());
    EXPECT_EQ(splitter.frame(bufferOf({0.5f, 0.5f}, -1.0)), WaveformFrame::zero());
    EXPECT_EQ(splitter.dcState(), dc);
    EXPECT_EQ(splitter.spectrumAnalyzer().smoothed(), smoothed);
}

TEST(BandSplitter, TheDcTrackerRemovesAConstantOffsetOverTime) {
    WaveformBandSplitter splitter;
    WaveformFrame frame;
    for (int i = 0; i < 20; ++i) frame = splitter.frame(bufferOf(std::vector<float>(2048, 0.4f)));
    EXPECT_NEAR(frame.full.back(), 0.0f, 1e-3);
    EXPECT_NEAR(splitter.dcState(), 0.4f, 1e-3);
}

TEST(BandSplitter, EachToneLandsInItsOwnBandAndSpectrumThird) {
    for (const auto& [frequency, band] : {std::pair{100.0, 0}, {700.0, 1}, {7000.0, 2}}) {
        SCOPED_TRACE(frequency);
        WaveformBandSplitter splitter;
        const auto tone = makeSineBuffer(48000, 2048, frequency, 0.25f);
        const auto first = splitter.frame(tone);
        EXPECT_EQ(loudestBin(first.spectrum) / 64, static_cast<std::size_t>(band));
        const auto frame = splitter.frame(tone);  // the filters have settled
        const float bands[] = {rms(frame.low), rms(frame.mid), rms(frame.high)};
        EXPECT_EQ(std::max_element(bands, bands + 3) - bands, band);
    }
}

TEST(BandSplitter, ResetForgetsFiltersAndSpectrum) {
    WaveformBandSplitter splitter;
    splitter.frame(makeSineBuffer(48000, 2048, 300, 0.8f));
    splitter.reset();
    EXPECT_EQ(splitter.dcState(), 0.0f);
    EXPECT_EQ(splitter.lowState(), 0.0f);
    EXPECT_EQ(splitter.midLowPassState(), 0.0f);
    EXPECT_EQ(splitter.spectrumAnalyzer().smoothed(), SpectrumAnalyzer::Spectrum{});
}

TEST(BandSplitter, ABrokenSampleDoesNotPoisonLaterFrames) {
    WaveformBandSplitter splitter;
    AudioBuffer broken = makeSineBuffer(48000, 2048, 440, 0.5f);
    broken.channel(0)[1000] = std::nanf("");
    const auto allFinite = [](const WaveformFrame& frame) {
        const auto finite = [](float v) { return std::isfinite(v); };
        return std::ranges::all_of(frame.full, finite) && std::ranges::all_of(frame.low, finite) &&
               std::ranges::all_of(frame.spectrum, finite);
    };
    EXPECT_TRUE(allFinite(splitter.frame(broken)));
    EXPECT_EQ(WaveformSampler::normalizedLevel(broken), 0.0f);
    const auto next = splitter.frame(makeSineBuffer(48000, 2048, 440, 0.5f));
    EXPECT_TRUE(allFinite(next));
    EXPECT_GT(*std::max_element(next.full.begin(), next.full.end()), 0.3f);
    EXPECT_GT(*std::max_element(next.spectrum.begin(), next.spectrum.end()), 0.3f);
}

TEST(Spectrum, RisesFastAndFallsBy14PercentPerSilentBuffer) {
    SpectrumAnalyzer analyzer;
    const auto tone = makeSineBuffer(48000, 2048, 1000, 0.5f);
    const auto first = analyzer.spectrum(tone);
    const std::size_t peak = loudestBin(first);
    const float target = first[peak] / 0.56f;  // first step from 0 rises by 56 %
    ASSERT_GT(target, 0.5f);
    const auto second = analyzer.spectrum(tone);
    EXPECT_NEAR(second[peak], first[peak] + (target - first[peak]) * 0.56f, 1e-5);

    const AudioBuffer silence = bufferOf(std::vector<float>(2048, 0.0f));
    auto before = second;
    for (int i = 0; i < 5; ++i) {
        const auto after = analyzer.spectrum(silence);
        for (std::size_t k = 0; k < after.size(); ++k) EXPECT_NEAR(after[k], before[k] * 0.86f, 1e-6) << k;
        before = after;
    }
    EXPECT_EQ(WaveformSampler::normalizedLevel(silence), 0.0f);
}

TEST(Spectrum, SpansFrom60HzToTheLowerOf045TimesTheRateAnd8kHz) {
    EXPECT_FLOAT_EQ(SpectrumAnalyzer::binFrequency(0, 16000), 60.0f);
    EXPECT_NEAR(SpectrumAnalyzer::binFrequency(191, 16000), 7200.0f, 0.5f);
    EXPECT_NEAR(SpectrumAnalyzer::binFrequency(191, 48000), 8000.0f, 0.5f);
    EXPECT_NEAR(SpectrumAnalyzer::binFrequency(191, 96000), 8000.0f, 0.5f);

    // A 7200 Hz tone is the top bin at 16 kHz, but sits below the top at 48 kHz.
    SpectrumAnalyzer at16k;
    EXPECT_EQ(loudestBin(at16k.spectrum(makeSineBuffer(16000, 2048, 7200, 0.25f))), 191u);
    SpectrumAnalyzer at48k;
    const auto bin48k = loudestBin(at48k.spectrum(makeSineBuffer(48000, 2048, 7200, 0.25f)));
    EXPECT_GE(bin48k, 185u);
    EXPECT_LE(bin48k, 189u);
}

TEST(Spectrum, ReadsAWindowedTailOfAtMost2048Samples) {
    SpectrumAnalyzer analyzer;
    analyzer.spectrum(bufferOf({0.3f}));
    EXPECT_EQ(analyzer.hannWindow(), std::vector<float>{1.0f});
    // A loud head followed by 2048 silent samples: only the silent tail is measured.
    AudioBuffer tone = makeSineBuffer(48000, 4096, 500, 0.9f);
    std::fill(tone.channel(0) + 2048, tone.channel(0) + 4096, 0.0f);
    SpectrumAnalyzer tail;
    const auto spectrum = tail.spectrum(tone);
    EXPECT_EQ(tail.hannWindow().size(), 2048u);
    EXPECT_EQ(spectrum, SpectrumAnalyzer::Spectrum{});
}

}  // namespace
}  // namespace vesk

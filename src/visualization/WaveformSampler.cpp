#include "visualization/WaveformSampler.h"

#include "visualization/SelfTestOutput.h"
#include "visualization/TestSignals.h"
#include "visualization/WaveformAnalysis.h"

#include "visualization/DisplayClamp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <numeric>

namespace vesk::WaveformSampler {

float normalizedLevel(const AudioBuffer& buffer) {
    if (!hasAnalysableSamples(buffer)) return 0.0f;
    const std::size_t frames = buffer.frameLength();
    const std::size_t step = frames < 512 ? 1 : frames / 512;
    const float* samples = buffer.channel(0);
    float sum = 0.0f;
    std::size_t count = 0;
    for (std::size_t i = 0; i < frames; i += step) {
        sum += samples[i] * samples[i];
        ++count;
    }
    const float rms = std::sqrt(sum / static_cast<float>(count));
    const float level = (20.0f * std::log10(std::max(rms, 1e-6f)) + 55.0f) / 55.0f;
    return clampForDisplay(level, 0.0f, 1.0f);
}

std::array<float, WaveformFrame::waveformCount> signedSamples(const AudioBuffer& buffer) {
    constexpr std::size_t bins = WaveformFrame::waveformCount;
    std::array<float, bins> result{};
    if (!hasAnalysableSamples(buffer)) return result;
    const std::size_t n = buffer.frameLength();
    const float* samples = buffer.channel(0);
    for (std::size_t b = 0; b < bins; ++b) {
        const std::size_t start = b * n / bins;
        const std::size_t end = std::max(start + 1, std::min((b + 1) * n / bins, n));
        float sum = 0.0f;
        for (std::size_t i = start; i < end; ++i) sum += samples[i];
        result[b] = sum / static_cast<float>(end - start);
    }
    const float mean = std::accumulate(result.begin(), result.end(), 0.0f) / static_cast<float>(bins);
    for (float& value : result) value = clampForDisplay(value - mean, -1.0f, 1.0f);
    return result;
}

namespace {

constexpr double selfTestRate = 48000.0;
constexpr uint32_t selfTestFrames = 2048;

float rootMeanSquare(std::span<const float> values) {
    if (values.empty()) return 0.0f;
    float sum = 0.0f;
    for (const float v : values) sum += v * v;
    return std::sqrt(sum / static_cast<float>(values.size()));
}

enum class Band { low, mid, high };

Band loudestBand(const WaveformFrame& frame) {
    const float low = rootMeanSquare(frame.low);
    const float mid = rootMeanSquare(frame.mid);
    const float high = rootMeanSquare(frame.high);
    if (high > low && high > mid) return Band::high;
    if (mid > low) return Band::mid;
    return Band::low;
}

bool checkSignedSampling(const AudioBuffer& sine) {
    const auto samples = signedSamples(sine);
    const auto [smallest, largest] = std::minmax_element(samples.begin(), samples.end());
    const float mean = std::accumulate(samples.begin(), samples.end(), 0.0f) / static_cast<float>(samples.size());
    return *largest > 0.2f && *smallest < -0.2f && std::fabs(mean) <= 0.0001f;
}

bool checkDetachedCopy(AudioBuffer& source) {
    const auto copy = source.detachedCopy();
    if (!copy) return false;
    const float before = copy->channel(0)[0];
    source.channel(0)[0] = 0.99f;
    return copy->channel(0)[0] == before && copy->frameLength() == source.frameLength();
}

bool checkBandSeparation() {
    WaveformBandSplitter splitter;
    const bool low = loudestBand(splitter.frame(makeSineBuffer(selfTestRate, selfTestFrames, 100, 0.25f))) == Band::low;
    const bool mid = loudestBand(splitter.frame(makeSineBuffer(selfTestRate, selfTestFrames, 700, 0.25f))) == Band::mid;
    const bool high =
        loudestBand(splitter.frame(makeSineBuffer(selfTestRate, selfTestFrames, 7000, 0.25f))) == Band::high;
    return low && mid && high;
}

bool checkSpectrumIsolation() {
    SpectrumAnalyzer analyzer;
    const auto loudestThird = [&analyzer](double frequency) {
        analyzer.resetSmoothing();
        const auto& spectrum = analyzer.spectrum(makeSineBuffer(selfTestRate, selfTestFrames, frequency, 0.25f));
        const auto loudest = std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin();
        return loudest / 64;
    };
    return loudestThird(100) == 0 && loudestThird(800) == 1 && loudestThird(5000) == 2;
}

}  // namespace

bool runSelfTest() {
    AudioBuffer sine;
    try {
        sine = makeSineBuffer(selfTestRate, selfTestFrames, 440, 0.25f);
    } catch (const std::bad_alloc&) {
        return selftest::report(false, "PCM waveform sampling");
    }

    bool allPassed = selftest::report(checkSignedSampling(sine), "signed PCM waveform sampling");
    allPassed = selftest::report(checkDetachedCopy(sine), "detached audio-buffer ownership") && allPassed;
    allPassed = selftest::report(checkBandSeparation(), "low/mid/high band separation") && allPassed;
    allPassed = selftest::report(checkSpectrumIsolation(), "log-spectrum bass/mid/high isolation") && allPassed;

    WaveformBandSplitter splitter;
    const AudioBuffer speech = makeSineBuffer(selfTestRate, selfTestFrames, 440, 0.25f);
    constexpr int runs = 12;
    const auto start = std::chrono::steady_clock::now();
    float checksum = 0.0f;
    for (int i = 0; i < runs; ++i) checksum += splitter.frame(speech).spectrum[0];
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / runs;
    char label[64];
    std::snprintf(label, sizeof label, "visual analysis %.2f ms/frame", milliseconds);
    allPassed = selftest::report(milliseconds < 35.0 && std::isfinite(checksum), label) && allPassed;
    return allPassed;
}

}  // namespace vesk::WaveformSampler

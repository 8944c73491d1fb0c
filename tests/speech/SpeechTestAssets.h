#pragma once

#include <sndfile.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// Real recordings and models the speech tests use.
namespace vesk::test::assets {

inline const std::filesystem::path kPocketSphinxData = "/usr/share/pocketsphinx/test/data";
inline const std::filesystem::path kLibriVox = kPocketSphinxData / "librivox";

inline std::filesystem::path libriVox(const std::string& number) {
    return kLibriVox / ("sense_and_sensibility_01_austen_64kb-" + number + ".wav");
}

// 11 s of real speech with four pauses, shipped with the recognizer's source.
inline std::filesystem::path jfk() {
    return std::filesystem::path(VESK_SOURCE_DIR) / ".deps/whisper.cpp/bindings/go/samples/jfk.wav";
}

// The voice-activity model, beside the checkout (../shared) as in CI, or where this
// machine keeps it.
inline std::filesystem::path sileroModel() {
    const std::filesystem::path candidates[] = {
        std::filesystem::path(VESK_SOURCE_DIR) / "../shared/models/silero-v6.2.0-ggml.bin",
        std::filesystem::path(VESK_SOURCE_DIR) / "shared/models/silero-v6.2.0-ggml.bin",
        "/work/shared/models/silero-v6.2.0-ggml.bin",
    };
    for (const auto& path : candidates)
        if (std::filesystem::exists(path)) return path;
    return candidates[0];
}

// Writes 16-bit PCM samples as a WAV file.
inline void writeWav(const std::filesystem::path& path, const std::vector<short>& samples, int rate = 16000,
                     int channels = 1) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path.string());
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// Debian's goforward.raw (headerless 16 kHz 16-bit mono) as a WAV file in `directory`.
inline std::filesystem::path goForwardWav(const std::filesystem::path& directory) {
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    const auto raw = kPocketSphinxData / "goforward.raw";
    SNDFILE* in = sf_open(raw.c_str(), SFM_READ, &info);
    if (!in) throw std::runtime_error("cannot read " + raw.string());
    std::vector<short> samples(static_cast<size_t>(info.frames));
    sf_read_short(in, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(in);
    const auto path = directory / "goforward.wav";
    writeWav(path, samples);
    return path;
}

}  // namespace vesk::test::assets

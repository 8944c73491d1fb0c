#pragma once

#include "audio/AudioBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace vesk {

// Reads an audio file in whatever container libsndfile understands (WAV, FLAC, OGG, CAF,
// AIFF, MP3 where supported) as planar float PCM in the file's own rate and channels.
// Opening and reading throw vesk::Error (domain "AudioFile") with a sentence that names
// the file and says what is wrong with it.
class AudioFileReader {
public:
    explicit AudioFileReader(const std::filesystem::path& path);
    ~AudioFileReader();
    AudioFileReader(AudioFileReader&&) noexcept;
    AudioFileReader& operator=(AudioFileReader&&) noexcept;

    const std::filesystem::path& path() const { return path_; }
    double sampleRate() const { return sampleRate_; }
    uint32_t channelCount() const { return channelCount_; }
    int64_t length() const { return length_; }           // frames in the file
    int64_t framePosition() const { return position_; }  // frames read so far

    // Up to `frames` frames from the read position; an empty buffer at the end.
    AudioBuffer read(uint32_t frames);
    // Up to `into.size() / channelCount()` interleaved frames into `into`; the number of
    // frames read, 0 at the end.
    size_t readInterleaved(std::span<float> into);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::filesystem::path path_;
    double sampleRate_ = 0;
    uint32_t channelCount_ = 0;
    int64_t length_ = 0;
    int64_t position_ = 0;
};

// The whole file as one buffer in its own format.
AudioBuffer readAudioFile(const std::filesystem::path& path);

// The rest of the file as mono samples at `sampleRate`, read, mixed down and resampled
// piece by piece: the only copy of the recording held is the result. Throws vesk::Error
// for the file and AudioBufferConverter::ConversionError for the conversion.
std::vector<float> readMonoSamples(AudioFileReader& reader, double sampleRate);

}  // namespace vesk

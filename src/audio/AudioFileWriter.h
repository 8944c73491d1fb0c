#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/AudioBuffer.h"

struct sf_private_tag;

namespace vesk {

// A recording file being written: Core Audio Format, 32-bit float, in the capture's own
// rate and channel count. Created new (never over an existing file or through a link),
// readable and writable by its owner only. Closed (header finalized) when the object goes
// away.
class AudioFileWriter {
public:
    // Throws `vesk::Error` when the file cannot be created: domain "POSIX" with the errno
    // when it cannot be opened, "sndfile" when the audio format cannot be written. A file
    // that was created is removed again on failure.
    AudioFileWriter(const std::filesystem::path& path, double sampleRate, uint32_t channelCount,
                    uint32_t expectedBufferFrames = 2048);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends the buffer's frames; false when they could not all be written.
    bool write(const AudioBuffer& buffer);

private:
    int descriptor_ = -1;  // ours; libsndfile writes through it and leaves closing to us
    sf_private_tag* file_ = nullptr;
    uint32_t channelCount_;
    std::vector<float> interleaved_;
};

}  // namespace vesk

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/AudioBuffer.h"

struct sf_private_tag;

namespace vesk {

// A recording file being written: Core Audio Format, 32-bit float, in the capture's own
// rate and channel count. Closed (header finalized) when the object goes away.
class AudioFileWriter {
public:
    // Throws `vesk::Error` (domain "sndfile") when the file cannot be created.
    AudioFileWriter(const std::filesystem::path& path, double sampleRate, uint32_t channelCount,
                    uint32_t expectedBufferFrames = 2048);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends the buffer's frames; false when they could not all be written.
    bool write(const AudioBuffer& buffer);

private:
    sf_private_tag* file_ = nullptr;
    uint32_t channelCount_;
    std::vector<float> interleaved_;
};

}  // namespace vesk

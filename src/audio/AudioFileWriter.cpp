#include "audio/AudioFileWriter.h"

#include <sndfile.h>

#include <string>

#include "core/Error.h"

namespace vesk {

AudioFileWriter::AudioFileWriter(const std::filesystem::path& path, double sampleRate, uint32_t channelCount,
                                 uint32_t expectedBufferFrames)
    : channelCount_(channelCount), interleaved_(static_cast<size_t>(expectedBufferFrames) * channelCount) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channelCount);
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info))
        throw Error("sndfile", SF_ERR_UNSUPPORTED_ENCODING,
                    "The recording file could not be created: the audio format is not supported.");
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_)
        throw Error("sndfile", sf_error(nullptr),
                    std::string("The recording file could not be created: ") + sf_strerror(nullptr) + ".");
}

AudioFileWriter::~AudioFileWriter() {
    if (file_) sf_close(file_);
}

bool AudioFileWriter::write(const AudioBuffer& buffer) {
    if (buffer.channelCount() != channelCount_) return false;
    const uint32_t frames = buffer.frameLength();
    const size_t samples = static_cast<size_t>(frames) * channelCount_;
    if (interleaved_.size() < samples) interleaved_.resize(samples);
    for (uint32_t c = 0; c < channelCount_; ++c) {
        const float* plane = buffer.channel(c);
        for (uint32_t f = 0; f < frames; ++f) interleaved_[static_cast<size_t>(f) * channelCount_ + c] = plane[f];
    }
    return sf_writef_float(file_, interleaved_.data(), frames) == static_cast<sf_count_t>(frames);
}

}  // namespace vesk

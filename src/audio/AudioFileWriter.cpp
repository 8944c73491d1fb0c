#include "audio/AudioFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
    // The recording is someone's voice: no other user may read it, whatever the umask, and
    // nothing already at that name (a planted link in a shared directory) is followed.
    descriptor_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor_ < 0) {
        const int code = errno;
        throw Error("POSIX", code,
                    std::string("The recording file could not be created: ") + std::strerror(code) + ".");
    }
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
    if (!file_) {
        Error error("sndfile", sf_error(nullptr),
                    std::string("The recording file could not be created: ") + sf_strerror(nullptr) + ".");
        ::close(descriptor_);
        ::unlink(path.c_str());
        throw error;
    }
}

AudioFileWriter::~AudioFileWriter() {
    if (file_) sf_close(file_);
    if (descriptor_ >= 0) ::close(descriptor_);
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

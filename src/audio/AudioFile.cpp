#include "audio/AudioFile.h"

#include "audio/AudioBufferConverter.h"
#include "core/Error.h"

#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

constexpr const char* kDomain = "AudioFile";

std::string quoted(const std::filesystem::path& path) { return "\u201c" + path.string() + "\u201d"; }

[[noreturn]] void fail(int code, std::string description) { throw Error(kDomain, code, std::move(description)); }

// A library's message as the middle of our sentence: no full stop of its own.
std::string sentence(std::string message) {
    while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.pop_back();
    return message;
}

// Reasons libsndfile cannot give: it reports every one of these as an unknown format.
void checkReadable(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) fail(1, "The audio file " + quoted(path) + " does not exist.");
    if (std::filesystem::is_directory(status)) fail(2, quoted(path) + " is a folder, not an audio file.");
    if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, error) == 0 && !error)
        fail(3, "The audio file " + quoted(path) + " is empty.");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(5, "The audio file " + quoted(path) + " cannot be read: " + sentence(std::strerror(errno)) + ".");
    ::close(fd);
}

}  // namespace

struct AudioFileReader::Handle {
    SNDFILE* file = nullptr;
    ~Handle() {
        if (file) sf_close(file);
    }
};

AudioFileReader::AudioFileReader(const std::filesystem::path& path) : handle_(std::make_unique<Handle>()), path_(path) {
    checkReadable(path);
    SF_INFO info{};
    handle_->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!handle_->file) {
        const int code = sf_error(nullptr);
        if (code == SF_ERR_UNRECOGNISED_FORMAT)
            fail(4, "The file " + quoted(path) + " is not audio in a format Project Vesk can read.");
        fail(5, "The audio file " + quoted(path) + " cannot be read: " + sentence(sf_strerror(nullptr)) + ".");
    }
    if (info.samplerate <= 0 || info.channels <= 0)
        fail(6, "The audio file " + quoted(path) + " has no usable sample rate or channels.");
    sampleRate_ = info.samplerate;
    channelCount_ = static_cast<uint32_t>(info.channels);
    length_ = info.frames;
}

AudioFileReader::~AudioFileReader() = default;
AudioFileReader::AudioFileReader(AudioFileReader&&) noexcept = default;
AudioFileReader& AudioFileReader::operator=(AudioFileReader&&) noexcept = default;

AudioBuffer AudioFileReader::read(uint32_t frames) {
    std::vector<float> interleaved(static_cast<size_t>(frames) * channelCount_);
    const sf_count_t got = sf_readf_float(handle_->file, interleaved.data(), frames);
    if (got < 0 || (got == 0 && position_ < length_ && sf_error(handle_->file) != SF_ERR_NO_ERROR))
        fail(7, "The audio file " + quoted(path_) + " cannot be read: " + sentence(sf_strerror(handle_->file)) + ".");
    position_ += got;
    interleaved.resize(static_cast<size_t>(got) * channelCount_);
    return AudioBuffer::fromInterleaved(sampleRate_, channelCount_, interleaved);
}

size_t AudioFileReader::readInterleaved(std::span<float> into) {
    const auto frames = static_cast<sf_count_t>(into.size() / channelCount_);
    const sf_count_t got = sf_readf_float(handle_->file, into.data(), frames);
    if (got < 0 || (got == 0 && position_ < length_ && sf_error(handle_->file) != SF_ERR_NO_ERROR))
        fail(7, "The audio file " + quoted(path_) + " cannot be read: " + sentence(sf_strerror(handle_->file)) + ".");
    position_ += got;
    return static_cast<size_t>(got);
}

std::vector<float> readMonoSamples(AudioFileReader& reader, double sampleRate) {
    constexpr size_t kChunkFrames = 16384;
    MonoResampler resampler(reader.sampleRate(), reader.channelCount(), sampleRate);
    std::vector<float> samples;
    const double expected =
        std::ceil(static_cast<double>(std::max<int64_t>(0, reader.length() - reader.framePosition())) * sampleRate /
                  reader.sampleRate());
    samples.reserve(static_cast<size_t>(expected) + 256);
    std::vector<float> chunk(kChunkFrames * reader.channelCount());
    for (;;) {
        const size_t frames = reader.readInterleaved(chunk);
        resampler.push(std::span<const float>(chunk.data(), frames * reader.channelCount()), frames == 0, samples);
        if (frames == 0) break;
    }
    if (samples.empty() && reader.length() > 0)
        fail(8, "The audio file " + quoted(reader.path()) + " holds no readable audio; it may be damaged.");
    return samples;
}

AudioBuffer readAudioFile(const std::filesystem::path& path) {
    AudioFileReader reader(path);
    std::vector<float> interleaved;
    constexpr uint32_t kChunk = 65536;
    for (;;) {
        const AudioBuffer chunk = reader.read(kChunk);
        if (chunk.frameLength() == 0) break;
        for (uint32_t f = 0; f < chunk.frameLength(); ++f)
            for (uint32_t c = 0; c < chunk.channelCount(); ++c) interleaved.push_back(chunk.channel(c)[f]);
    }
    if (interleaved.empty() && reader.length() > 0)
        fail(8, "The audio file " + quoted(path) + " holds no readable audio; it may be damaged.");
    return AudioBuffer::fromInterleaved(reader.sampleRate(), reader.channelCount(), interleaved);
}

}  // namespace vesk

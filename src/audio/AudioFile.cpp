#include "audio/AudioFile.h"

#include "core/Error.h"

#include <sndfile.h>

#include <system_error>
#include <vector>

namespace vesk {

namespace {

constexpr const char* kDomain = "AudioFile";

std::string quoted(const std::filesystem::path& path) { return "\u201c" + path.string() + "\u201d"; }

[[noreturn]] void fail(int code, std::string description) { throw Error(kDomain, code, std::move(description)); }

// Reasons libsndfile cannot give: it reports every one of these as an unknown format.
void checkReadable(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) fail(1, "The audio file " + quoted(path) + " does not exist.");
    if (std::filesystem::is_directory(status)) fail(2, quoted(path) + " is a folder, not an audio file.");
    if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, error) == 0 && !error)
        fail(3, "The audio file " + quoted(path) + " is empty.");
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
        fail(5, "The audio file " + quoted(path) + " cannot be read: " + sf_strerror(nullptr) + ".");
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
        fail(7, "The audio file " + quoted(path_) + " cannot be read: " + sf_strerror(handle_->file) + ".");
    position_ += got;
    interleaved.resize(static_cast<size_t>(got) * channelCount_);
    return AudioBuffer::fromInterleaved(sampleRate_, channelCount_, interleaved);
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

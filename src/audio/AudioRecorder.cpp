#include "audio/AudioRecorder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/AppPaths.h"
#include "core/Error.h"
#include "core/Uuid.h"

namespace vesk {
namespace {

constexpr std::string_view kRecordingPrefix = "project-vesk-";
constexpr std::chrono::seconds kAbandonedAge{3600};

}  // namespace

AudioRecorder::AudioRecorder(std::shared_ptr<PulseConnection> connection, std::shared_ptr<InputDevice> device) {
    if (!connection) connection = PulseConnection::create();
    if (!device) device = std::make_shared<DefaultInputDevice>(connection);
    engine_ = std::make_unique<CaptureEngine>(connection, device);
}

AudioRecorder::~AudioRecorder() {
    // Nobody will ever collect an unfinished recording; it must not stay behind on disk.
    cancel();
    // The tap reads the members below; silence it before they go.
    engine_->removeTap();
    engine_->stop();
}

std::shared_ptr<AudioBufferStream> AudioRecorder::start() {
    if (isRecording_) return AudioBufferStream::finishedStream();

    const InputFormat format = engine_->inputFormat();
    if (!format.usable()) throw Error(kErrorDomain, kNoInputErrorCode, "No microphone input available");

    const auto location = recordingDirectory() / (std::string(kRecordingPrefix) + makeUuid() + ".caf");
    auto file = std::make_unique<AudioFileWriter>(location, format.sampleRate, format.channelCount,
                                                  CaptureEngine::kTapBufferFrames);
    {
        std::lock_guard lock(streamStateLock_);
        streamingOverrun_ = false;
    }
    outputContinuation_ = std::make_shared<AudioBufferStream>(kStreamCapacity);
    auto stream = outputContinuation_;
    activeObserver_ = observer_;
    engine_->installTap(CaptureEngine::kTapBufferFrames, format,
                        [this](const AudioBuffer& buffer) { handleTap(buffer); });
    if (activeObserver_) activeObserver_->sourceStarted();
    file_ = std::move(file);
    currentFileURL_ = location;
    try {
        engine_->start();
    } catch (...) {
        engine_->removeTap();
        outputContinuation_->finish();
        outputContinuation_.reset();
        activeObserver_.reset();
        file_.reset();
        currentFileURL_.reset();
        std::error_code ignored;
        std::filesystem::remove(location, ignored);
        throw;
    }
    isRecording_ = true;
    return stream;
}

void AudioRecorder::handleTap(const AudioBuffer& buffer) {
    // The file first: it is the complete recording and must see every buffer. A failed
    // write loses that buffer from the file only.
    if (file_) file_->write(buffer);
    if (activeObserver_) activeObserver_->consume(buffer);
    auto copy = buffer.detachedCopy();
    if (!copy) return;
    if (outputContinuation_ &&
        outputContinuation_->push(std::move(*copy)) == AudioBufferStream::PushResult::droppedOldest) {
        std::lock_guard lock(streamStateLock_);
        streamingOverrun_ = true;
    }
}

std::optional<std::filesystem::path> AudioRecorder::stop() {
    if (!isRecording_) return std::nullopt;
    // Stopping hands the last partial buffer to the tap, so the file ends where capture did.
    engine_->stop();
    engine_->removeTap();
    if (outputContinuation_) {
        outputContinuation_->finish();
        outputContinuation_.reset();
    }
    if (const auto observer = std::exchange(activeObserver_, nullptr)) observer->sourceStopped();
    isRecording_ = false;
    file_.reset();
    return std::exchange(currentFileURL_, std::nullopt);
}

void AudioRecorder::cancel() {
    if (const auto location = stop()) {
        std::error_code ignored;
        std::filesystem::remove(*location, ignored);
    }
}

bool AudioRecorder::streamingOverrun() const {
    std::lock_guard lock(streamStateLock_);
    return streamingOverrun_;
}

bool AudioRecorder::takeStreamingOverrun() {
    std::lock_guard lock(streamStateLock_);
    return std::exchange(streamingOverrun_, false);
}

std::filesystem::path AudioRecorder::recordingDirectory() {
    // Only this user may enter the runtime directory, and it goes away when they log out.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat status {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::geteuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0 &&
        ::access(runtime, W_OK | X_OK) == 0)
        return runtime;
    return AppPaths::temporaryDirectory();
}

void AudioRecorder::cleanupAbandonedRecordings() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(recordingDirectory(), error);
    if (error) return;
    const auto cutoff = fs::file_time_type::clock::now() - kAbandonedAge;
    for (const auto& entry : entries) {
        const fs::path& path = entry.path();
        const std::string name = path.filename().string();
        if (name.starts_with('.')) continue;
        if (!name.starts_with(kRecordingPrefix) || path.extension() != ".caf") continue;
        std::error_code timeError;
        const auto modified = fs::last_write_time(path, timeError);
        if (timeError) continue;
        if (modified < cutoff) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
}

bool AudioRecorder::requestMicrophoneAccess(std::shared_ptr<PulseConnection> connection) {
    if (!connection) connection = PulseConnection::create();
    CaptureEngine probe(connection, std::make_shared<DefaultInputDevice>(connection));
    const InputFormat format = probe.inputFormat();
    if (!format.usable()) return false;
    probe.installTap(CaptureEngine::kTapBufferFrames, format, nullptr);
    try {
        probe.start();
    } catch (const Error&) {
        return false;
    }
    probe.stop();
    return true;
}

}  // namespace vesk

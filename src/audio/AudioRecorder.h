#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "audio/AudioBufferObserver.h"
#include "audio/AudioBufferStream.h"
#include "audio/AudioFileWriter.h"
#include "audio/CaptureEngine.h"
#include "audio/PulseConnection.h"

namespace vesk {

// What the dictation controller needs from a microphone recorder.
class Recorder {
public:
    virtual ~Recorder() = default;
    // The live buffers of the new recording; an already finished stream when a recording
    // is running. Throws `vesk::Error` when capture cannot begin.
    virtual std::shared_ptr<AudioBufferStream> start() = 0;
    // The finished recording file; nothing when idle.
    virtual std::optional<std::filesystem::path> stop() = 0;
    virtual void cancel() = 0;
    // Whether the live stream dropped a buffer since the last call (read and clear).
    virtual bool takeStreamingOverrun() = 0;
    virtual bool isRecording() const = 0;
};

// Records the default microphone into a private recording file while feeding its observer
// (the displays' visualization) and a bounded live stream for the recognizer, all from one
// tap on the capture thread, which never waits for the consumers.
//
// Recording files are created readable and writable by their owner only, in
// `recordingDirectory()`. A recorder destroyed while recording removes its file.
class AudioRecorder final : public Recorder {
public:
    static constexpr size_t kStreamCapacity = 128;
    static constexpr int kNoInputErrorCode = 1;

    // Without a connection the recorder opens its own; without a device it records the
    // sound server's default source.
    explicit AudioRecorder(std::shared_ptr<PulseConnection> connection = nullptr,
                           std::shared_ptr<InputDevice> device = nullptr);
    // Cancels a recording still running (its file is removed).
    ~AudioRecorder() override;
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    std::shared_ptr<AudioBufferStream> start() override;
    std::optional<std::filesystem::path> stop() override;
    void cancel() override;
    bool takeStreamingOverrun() override;
    bool isRecording() const override { return isRecording_; }

    // Main thread. Takes effect from the next `start()`; a running recording keeps the
    // observer it started with. Without one, nothing but the file and the stream sees the
    // buffers.
    void setBufferObserver(std::shared_ptr<AudioBufferObserver> observer) { observer_ = std::move(observer); }

    bool streamingOverrun() const;
    std::optional<std::filesystem::path> currentFileURL() const { return currentFileURL_; }
    CaptureStatistics captureStatistics() const { return engine_->statistics(); }

    // Where recordings are written: $XDG_RUNTIME_DIR when it is an absolute path to a
    // directory of this user's that only they may enter (as the XDG base directory rules
    // require of it), otherwise the temporary directory ($TMPDIR, or /tmp).
    static std::filesystem::path recordingDirectory();
    // Deletes "project-vesk-*.caf" files in `recordingDirectory()` last modified more than an
    // hour ago: recordings left behind by a crash or an abort.
    static void cleanupAbandonedRecordings();
    // True when the sound server answers and its default source opens. Blocks briefly;
    // call it off the main thread.
    static bool requestMicrophoneAccess(std::shared_ptr<PulseConnection> connection = nullptr);

private:
    void handleTap(const AudioBuffer& buffer);

    std::unique_ptr<CaptureEngine> engine_;
    std::shared_ptr<AudioBufferObserver> observer_;
    // Written on the main thread only while the tap cannot run (before the engine starts,
    // after it stopped); read by the tap.
    std::shared_ptr<AudioBufferObserver> activeObserver_;
    std::unique_ptr<AudioFileWriter> file_;
    std::shared_ptr<AudioBufferStream> outputContinuation_;
    mutable std::mutex streamStateLock_;
    bool streamingOverrun_ = false;
    std::optional<std::filesystem::path> currentFileURL_;
    bool isRecording_ = false;
};

}  // namespace vesk

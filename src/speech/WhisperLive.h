#pragma once

#include "speech/LiveWindow.h"
#include "speech/SpeechEngine.h"
#include "speech/WhisperDecoding.h"
#include "speech/WhisperEngine.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vesk {

// Live recognition on whisper. Audio is handed over at once and decoded on a thread of the
// session's own, so a slow decode never holds up the caller and its queue:
//
// - every second of new audio the open tail is decoded again (volatile text);
// - a stretch that ends at a pause the voice detector finds is decoded once more and
//   becomes final;
// - a stretch that goes on without a pause has its older part committed (decoded as final
//   at a quiet point), so that only a bounded tail is decoded again; the committed text
//   is the decoder's prompt for the rest of the stretch;
// - a volatile decode that newer audio (or the end of input) makes useless is aborted,
//   or skipped when that audio is already waiting; final decodes are only aborted by
//   cancel.
//
// Threads: accept and finish come from one thread, cancel from any. Results go to the sink
// on the decoder thread, one at a time, all of them before finish returns; none after
// the destructor returns. The engine must outlive the session.
class WhisperLive final : public LiveRecognition {
public:
    // Starts the decoder thread. Throws vesk::Error when the model cannot be used.
    WhisperLive(WhisperEngine& engine, std::optional<std::string> prompt, ResultSink sink);
    ~WhisperLive() override;
    WhisperLive(const WhisperLive&) = delete;
    WhisperLive& operator=(const WhisperLive&) = delete;

    // Copies the samples and returns; throws the decoder's failure, if one came.
    void accept(std::span<const float> samples) override;
    // Returns once every result is delivered; throws the decoder's failure.
    void finish() override;
    void cancel() noexcept override;

private:
    void run();
    void advance(bool inputEnded);
    // Decodes [0, through) of the open audio; `spoken` is where the detected speech in it
    // ends (nothing without a detector).
    void finalize(size_t through, std::optional<size_t> spoken, bool endsStretch, LiveDecodeReport::Kind kind);
    bool overtakenAlready();
    void decodeProvisional(size_t through, std::optional<size_t> spoken);
    std::optional<std::string> currentPrompt() const;
    void report(const LiveDecodeReport& report) const;

    const WhisperSetup setup_;  // the engine's, with the live thread count
    const LiveWindowSettings settings_;
    whisper_context* context_;
    whisper::StatePtr state_;
    std::optional<whisper::VoiceDetector> detector_;
    const std::optional<std::string> prompt_;
    const ResultSink sink_;

    // The decoder thread's own.
    std::vector<float> open_;  // audio not yet final
    size_t openStart_ = 0;     // where open_ begins, in samples since the session began
    std::string lastVolatile_;
    std::string committed_;  // text committed so far in the open stretch
    bool anyFinal_ = false;
    bool previousSuperseded_ = false;

    // Shared with the feeding and controlling threads.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<float> pending_;  // handed over, not yet taken; taken once a decode interval is in
    size_t arrived_ = 0;          // samples accepted in all
    bool ended_ = false;
    bool provisionalRunning_ = false;
    size_t provisionalArrivedAt_ = 0;  // arrived_ when the running provisional decode began
    bool provisionalMayBeSuperseded_ = false;
    std::exception_ptr failure_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> superseded_{false};

    std::thread decoder_;  // last: starts once everything above exists
};

}  // namespace vesk

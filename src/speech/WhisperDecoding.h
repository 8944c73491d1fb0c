#pragma once

#include "speech/LiveWindow.h"
#include "speech/RecognitionResult.h"
#include "speech/WhisperEngine.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct whisper_context;
struct whisper_state;
struct whisper_vad_context;

// The pieces of whisper recognition that whole recordings and live sessions share. Not
// part of the engine's interface: only WhisperEngine and WhisperLive use them.
namespace vesk::whisper {

inline constexpr const char* kDomain = "Whisper";
inline constexpr int kSampleRate = 16000;
inline constexpr int kAbortedCode = 6;  // the Error code of a decode stopped by its abort signal

// The threads a decode uses: as asked, or as many as the machine has, at most 4.
int threadCount(int requested);
// The threads a live decode uses: as asked, or one fewer than the machine has (at least
// one, at most 4). Live decoding runs beside the recorder and the HUD, and ggml's threads
// wait for each other by spinning: one that loses its core stalls the rest. On a busy
// 2-core machine 5 s took 0.8 s to decode on one thread and 3.8 s on two.
int liveThreadCount(int requested);

struct StateDeleter {
    void operator()(whisper_state* state) const;
};
using StatePtr = std::unique_ptr<whisper_state, StateDeleter>;
// A decoder state of its own for one thread's recognitions. Throws vesk::Error.
StatePtr newState(whisper_context* context);

struct VadDeleter {
    void operator()(whisper_vad_context* context) const;
};

// Voice activity detection with the silero model: the stretches of speech in a recording.
// Called from one thread at a time.
class VoiceDetector {
public:
    // Throws vesk::Error when the model cannot be loaded.
    VoiceDetector(const std::filesystem::path& path, int threads);
    std::vector<SpeechSpan> speech(std::span<const float> samples);

private:
    std::unique_ptr<whisper_vad_context, VadDeleter> context_;
};

// The detector (on one thread of work) when the setup names a voice model that exists;
// nothing otherwise.
std::optional<VoiceDetector> voiceDetector(const WhisperSetup& setup);

// What stops a decode early: the session was cancelled, or (for provisional text only)
// newer audio made its result useless. Either flag may be absent; both outlive the decode.
struct AbortSignal {
    const std::atomic<bool>* cancelled = nullptr;
    const std::atomic<bool>* superseded = nullptr;
    bool raised() const { return (cancelled && cancelled->load()) || (superseded && superseded->load()); }
};

// One decode of a stretch of audio on the calling thread: text runs per word,
// alternatives from the decoder's runner-ups. `quick` decodes once, without the fallback
// to higher temperatures. whisper looks at `abort` after the encoder and between decoder
// steps; when it is raised the decode throws vesk::Error with kAbortedCode.
// `speechEnd` is where the voice detector heard the speech end (samples into the stretch;
// the whole stretch when absent). Where quiet follows it, words whisper places there are
// cut; the stretch itself counts as speech up to its own end.
RecognitionResult decode(whisper_context* context, whisper_state* state, std::span<const float> samples,
                         const WhisperSetup& setup, const std::optional<std::string>& prompt, bool quick = false,
                         const AbortSignal* abort = nullptr, std::optional<size_t> speechEnd = std::nullopt);

// Whether a result has any character other than white space.
bool hasText(const RecognitionResult& result);

}  // namespace vesk::whisper

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
// One thread at a time.
class VoiceDetector {
public:
    // Throws vesk::Error when the model cannot be loaded.
    VoiceDetector(const std::filesystem::path& path, int threads);
    std::vector<SpeechSpan> speech(std::span<const float> samples);

private:
    std::unique_ptr<whisper_vad_context, VadDeleter> context_;
};

// The detector when the setup names a voice model that exists; nothing otherwise.
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
RecognitionResult decode(whisper_context* context, whisper_state* state, std::span<const float> samples,
                         const WhisperSetup& setup, const std::optional<std::string>& prompt, bool quick = false,
                         const AbortSignal* abort = nullptr);

// Whether a result has any character other than white space.
bool hasText(const RecognitionResult& result);

}  // namespace vesk::whisper

#pragma once

#include "speech/RecognitionResult.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

// Every engine listens to 16 kHz mono float samples.
inline constexpr double kEngineSampleRate = 16000.0;

// Words the recognizer should favour (the person's learned vocabulary). Absent when there
// are none: the recognizer then runs without any context at all.
struct RecognitionContext {
    std::vector<std::string> contextualStrings;
};

using ResultSink = std::function<void(RecognitionResult)>;
// Seconds of a whole recording recognized so far, on the recognizing thread.
using RecognitionProgress = std::function<void(double)>;

// One live recognition on an engine. accept and finish are called from one thread only;
// cancel may come from any other thread while they run. Results go to the sink given at
// the start, one at a time: on the thread of accept and finish, or on a thread of the
// recognition's own; never after finish returns or the recognition is destroyed.
class LiveRecognition {
public:
    // Returns once no result can be delivered any more.
    virtual ~LiveRecognition() = default;
    // More audio, in order.
    virtual void accept(std::span<const float> samples) = 0;
    // End of input: every remaining result is delivered, the last ones final.
    virtual void finish() = 0;
    // Asks a decode in progress to stop as soon as it can; accept and finish may then throw
    // or deliver nothing more. Never blocks.
    virtual void cancel() noexcept {}
};

// A speech recognizer with its model. Implementations are safe to use from one thread
// per operation; file and live recognitions may run on different threads.
class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;

    // The engine's name as the settings spell it ("whisper", "pocketsphinx").
    virtual std::string name() const = 0;
    // Whether the model files are in place.
    virtual bool isModelInstalled() const = 0;
    // Whether installModel can fetch the missing model (an installation request exists).
    virtual bool canInstallModel() const = 0;
    // Why the model is not downloaded now unless the person asks for it (a download failed
    // a short while ago); nothing when installModel may simply run.
    virtual std::optional<std::string> installDeferral() const { return std::nullopt; }
    // Downloads and installs the model now, with progress on standard error, whatever failed
    // before. Blocks the calling thread. Throws vesk::Error.
    virtual void installModel() = 0;
    // Loads and checks the installed model, so that a damaged file shows before recognition
    // starts. Throws vesk::Error naming the file.
    virtual void loadModel() {}
    // Recognizes a whole recording; one result per stretch of speech, in order. `progress`
    // hears now and then how far it got.
    virtual std::vector<RecognitionResult> recognize(std::span<const float> samples,
                                                     const std::optional<RecognitionContext>& context,
                                                     const RecognitionProgress& progress = {}) = 0;
    // Starts a live recognition delivering volatile and final results to `sink`.
    virtual std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>& context,
                                                       ResultSink sink) = 0;
};

}  // namespace vesk

#include "speech/Transcriber.h"

#include "core/Error.h"
#include "core/Settings.h"
#include "audio/AudioFile.h"
#include "speech/SpeechEngines.h"
#include "text/Unicode.h"

#include <chrono>
#include <cstdio>
#include <utility>

namespace vesk {

namespace {

const AudioFormat kAnalyzerFormat{kEngineSampleRate, 1};
constexpr uint32_t kStreamingFrames = 4096;

// The lens reads runs with confidences and the alternatives' plain characters.
std::vector<ConfidenceIssue> reviewCandidates(const RecognizedText& text,
                                              const std::vector<RecognizedText>& alternatives) {
    std::vector<TranscriptRun> runs;
    for (const TextRun& run : text.runs) runs.push_back({run.text, run.confidence});
    std::vector<std::string> others;
    for (const RecognizedText& alternative : alternatives) others.push_back(alternative.plainText());
    return ConfidenceLens::candidates(runs, others);
}

void writeToStandardError(const std::string& message) {
    const std::string line = message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string displayName(const SpeechEngine& engine) {
    return engine.name() == "pocketsphinx" ? "PocketSphinx" : engine.name() == "whisper" ? "whisper" : engine.name();
}

}  // namespace

bool LiveInputQueue::push(AudioBuffer buffer) {
    bool kept = true;
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return true;
        if (buffers_.size() >= capacity_) {
            buffers_.pop_front();
            kept = false;
        }
        buffers_.push_back(std::move(buffer));
    }
    ready_.notify_one();
    return kept;
}

std::optional<AudioBuffer> LiveInputQueue::pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return cancelled_ || finished_ || !buffers_.empty(); });
    if (cancelled_ || buffers_.empty()) return std::nullopt;
    AudioBuffer buffer = std::move(buffers_.front());
    buffers_.pop_front();
    return buffer;
}

void LiveInputQueue::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    ready_.notify_all();
}

void LiveInputQueue::cancel() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        buffers_.clear();
    }
    ready_.notify_all();
}

bool LiveInputQueue::isCancelled() const {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

Transcriber::Transcriber(std::string locale) : locale_(std::move(locale)), notice_(writeToStandardError) {
    const std::string model = whisperModelName(locale_, Settings::string("speechModel"));
    switch (engineChoice(Settings::string("speechEngine"))) {
        case EngineChoice::whisper: engine_ = makeWhisperEngine(locale_, model, modelsDirectory()); break;
        case EngineChoice::pocketsphinx: engine_ = makePocketSphinxEngine(locale_); break;
        case EngineChoice::automatic:
            engine_ = makeWhisperEngine(locale_, model, modelsDirectory());
            fallback_ = makePocketSphinxEngine(locale_);
            break;
    }
}

Transcriber::Transcriber(std::string locale, std::shared_ptr<SpeechEngine> engine,
                         std::shared_ptr<SpeechEngine> fallback, Notice notice)
    : locale_(std::move(locale)),
      engine_(std::move(engine)),
      fallback_(std::move(fallback)),
      notice_(notice ? std::move(notice) : Notice(writeToStandardError)) {}

Transcriber::~Transcriber() { cancelLive(); }

SpeechEngine& Transcriber::engine() {
    if (!engine_)
        throw Error(kErrorDomain, 3,
                    "No on-device speech recognizer has a model for the language \u201c" + locale_ + "\u201d.");
    return *engine_;
}

void Transcriber::ensureModelInstalled() {
    if (!engine_ || engine_->isModelInstalled()) return;
    const bool fallbackReady = fallback_ && fallback_->isModelInstalled();
    if (!engine_->canInstallModel()) {
        // Nothing to fetch: the recognition that follows reports the missing model,
        // unless the automatic choice has another engine ready.
        if (fallbackReady) {
            notice_("Using the " + displayName(*fallback_) + " speech engine for " + locale_ + ": no " +
                    displayName(*engine_) + " model for this language is installed or can be downloaded.");
            engine_ = std::exchange(fallback_, nullptr);
        }
        return;
    }
    notice_("Downloading on-device speech model for " + locale_ + "\u2026");
    try {
        engine_->installModel();
    } catch (const Error& error) {
        if (!fallbackReady) throw;
        notice_("Using the " + displayName(*fallback_) + " speech engine for " + locale_ + ": the " +
                displayName(*engine_) + " model could not be installed. " + error.description());
        engine_ = std::exchange(fallback_, nullptr);
    }
}

std::optional<RecognitionContext> Transcriber::contextFor(const std::vector<std::string>& biasTerms) {
    if (biasTerms.empty()) return std::nullopt;
    return RecognitionContext{biasTerms};
}

DetailedTranscription Transcriber::transcribeDetailed(const std::filesystem::path& file,
                                                      const std::vector<std::string>& biasTerms) {
    ensureModelInstalled();
    SpeechEngine& recognizer = engine();
    const auto context = contextFor(biasTerms);
    const AudioBuffer audio = readAudioFile(file);
    std::vector<float> samples;
    try {
        samples = monoSamples(audio, kEngineSampleRate);
    } catch (const AudioBufferConverter::ConversionError&) {
        throw Error("AudioFile", 9,
                    "The audio in \u201c" + file.string() + "\u201d cannot be converted for the recognizer.");
    }
    const std::vector<RecognitionResult> results = recognizer.recognize(samples, context);

    std::vector<std::string> pieces;
    std::vector<std::vector<ConfidenceIssue>> groups;
    for (const RecognitionResult& result : results) {
        std::string piece = unicode::trimWhitespaceAndNewlines(result.text.plainText());
        if (!piece.empty()) pieces.push_back(std::move(piece));
        groups.push_back(reviewCandidates(result.text, result.alternatives));
    }
    DetailedTranscription transcription;
    for (const std::string& piece : pieces) transcription.text += (transcription.text.empty() ? "" : " ") + piece;
    transcription.confidenceIssues = ConfidenceLens::merge(groups);
    return transcription;
}

void Transcriber::startLive(const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) {
    cancelLive();
    ensureModelInstalled();
    SpeechEngine& recognizer = engine();
    auto session = std::make_unique<LiveSession>();
    LiveSession* const raw = session.get();
    session->recognition = recognizer.startLive(contextFor(biasTerms), [this, raw](RecognitionResult result) {
        if (raw->input.isCancelled()) return;
        if (result.isFinal) {
            finalizedLiveText_ += result.text.plainText();
            volatileLiveText_.clear();
        } else {
            volatileLiveText_ = result.text.plainText();
        }
        if (onUpdate_) onUpdate_(finalizedLiveText_, volatileLiveText_);
    });
    live_ = std::move(session);
    analyzerFormat_ = kAnalyzerFormat;
    finalizedLiveText_.clear();
    volatileLiveText_.clear();
    liveFailure_ = nullptr;
    liveDidDropAudio_ = false;
    converter_ = std::make_unique<AudioBufferConverter>();
    onUpdate_ = std::move(onUpdate);
    live_->results = std::thread([this, raw] { runResults(*raw); });
}

void Transcriber::runResults(LiveSession& session) {
    try {
        while (auto buffer = session.input.pop()) session.recognition->accept(buffer->channelSamples(0));
        if (!session.input.isCancelled()) session.recognition->finish();
    } catch (...) {
        if (!session.input.isCancelled()) liveFailure_ = std::current_exception();
    }
}

void Transcriber::streamLiveAudio(const AudioBuffer& buffer) {
    if (!live_ || !analyzerFormat_) return;
    std::optional<AudioBuffer> converted = converter_->convert(buffer, *analyzerFormat_);
    if (!converted) {
        converted = buffer.detachedCopy();
        if (!converted)
            throw AudioBufferConverter::ConversionError(AudioBufferConverter::ConversionError::Kind::allocationFailed);
    }
    if (!live_->input.push(std::move(*converted))) liveDidDropAudio_ = true;
}

std::string Transcriber::finishLive() {
    if (live_) {
        live_->input.finish();
        if (live_->results.joinable()) live_->results.join();
    }
    if (liveFailure_) {
        const std::exception_ptr failure = liveFailure_;
        cleanupLiveSession();
        std::rethrow_exception(failure);
    }
    if (liveDidDropAudio_) {
        cleanupLiveSession();
        throw LiveAudioOverrun();
    }
    std::string text = unicode::trimWhitespaceAndNewlines(finalizedLiveText_ + volatileLiveText_);
    cleanupLiveSession();
    return text;
}

void Transcriber::cancelLive() noexcept {
    if (live_) {
        live_->input.cancel();
        if (live_->results.joinable()) live_->results.join();
    }
    cleanupLiveSession();
}

void Transcriber::cleanupLiveSession() {
    live_.reset();
    analyzerFormat_.reset();
    liveFailure_ = nullptr;
    liveDidDropAudio_ = false;
}

std::string Transcriber::transcribeStreaming(const std::filesystem::path& file,
                                             const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) {
    startLive(biasTerms, std::move(onUpdate));
    AudioFileReader reader(file);
    while (reader.framePosition() < reader.length()) {
        const AudioBuffer buffer = reader.read(kStreamingFrames);
        if (buffer.frameLength() == 0) break;
        streamLiveAudio(buffer);
        // Real-time pace: the recognizer sees the recording as a microphone would give it.
        std::this_thread::sleep_for(std::chrono::duration<double>(buffer.frameLength() / buffer.sampleRate()));
    }
    return finishLive();
}

namespace {

// The engine the self-test drives: a partial result, then the final one with a word the
// recognizer doubts and its runner-up.
class SelfTestEngine final : public SpeechEngine {
public:
    std::string name() const override { return "self-test"; }
    bool isModelInstalled() const override { return true; }
    bool canInstallModel() const override { return false; }
    void installModel() override {}
    std::vector<RecognitionResult> recognize(std::span<const float>,
                                             const std::optional<RecognitionContext>&) override {
        return {finalResult()};
    }
    std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>&, ResultSink sink) override {
        class Live final : public LiveRecognition {
        public:
            explicit Live(ResultSink sink) : sink_(std::move(sink)) {}
            void accept(std::span<const float>) override {
                sink_(RecognitionResult{RecognizedText::plain("send five"), false, {}});
            }
            void finish() override { sink_(finalResult()); }

        private:
            ResultSink sink_;
        };
        return std::make_unique<Live>(std::move(sink));
    }
    static RecognitionResult finalResult() {
        return RecognitionResult{RecognizedText{{{"send", 0.95}, {" five", 0.95}, {" files", 0.4}}},
                                 true,
                                 {RecognizedText::plain("send five miles")}};
    }
};

}  // namespace

bool Transcriber::runSelfTest() {
    bool passed = true;
    try {
        Transcriber transcriber("en-US", std::make_shared<SelfTestEngine>(), nullptr, [](const std::string&) {});
        std::vector<std::pair<std::string, std::string>> updates;
        transcriber.startLive({}, [&](const std::string& finalized, const std::string& provisional) {
            updates.emplace_back(finalized, provisional);
        });
        AudioBuffer buffer(48000, 2, 4800);
        buffer.setFrameLength(4800);
        transcriber.streamLiveAudio(buffer);
        const std::string text = transcriber.finishLive();
        // Progressive reporting: the volatile text first, then the same speech finalized.
        passed = updates.size() == 2 && updates[0] == std::make_pair(std::string(), std::string("send five")) &&
                 updates[1].first == "send five files" && updates[1].second.empty() && text == "send five files";
        // The final result carries confidences and the alternative that review offers.
        const auto issues =
            reviewCandidates(SelfTestEngine::finalResult().text, SelfTestEngine::finalResult().alternatives);
        passed = passed && issues.size() == 1 && issues[0].heard == "files" && issues[0].alternatives.size() == 1 &&
                 issues[0].alternatives[0] == "miles";
    } catch (...) {
        passed = false;
    }
    std::printf("%s: progressive live speech reporting\n", passed ? "PASS" : "FAIL");
    std::fflush(stdout);
    return passed;
}

}  // namespace vesk

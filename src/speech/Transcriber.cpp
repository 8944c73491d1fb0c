#include "speech/Transcriber.h"

#include "audio/AudioFile.h"
#include "core/Error.h"
#include "core/Settings.h"
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

// One live session: its input, the recognition and the thread that feeds it, and the
// texts that thread writes (read by the controlling thread only after joining it).
struct Transcriber::LiveSession {
    std::shared_ptr<SpeechEngine> engine;  // outlives the recognition that refers to it
    AudioBufferConverter converter;        // guarded by liveMutex_
    bool droppedAudio = false;             // guarded by liveMutex_
    LiveInputQueue input{kLiveQueueSeconds};
    std::unique_ptr<LiveRecognition> recognition;
    UpdateHandler onUpdate;
    std::string finalized;
    std::string volatileText;
    std::exception_ptr failure;
    std::thread results;

    void stop() noexcept {
        input.cancel();
        if (recognition) recognition->cancel();
        if (results.joinable()) results.join();
        recognition.reset();  // a recognition with a thread of its own delivers nothing after this
    }
    ~LiveSession() { stop(); }
};

Transcriber::Transcriber(std::string locale, std::shared_ptr<const DownloadObserver> downloads)
    : locale_(std::move(locale)), notice_(writeToStandardError) {
    const std::string model = whisperModelName(locale_, Settings::string("speechModel"));
    if (!isSupportedLocale(locale_)) return;  // reported by the first recognition
    switch (engineChoice(Settings::string("speechEngine"))) {
        case EngineChoice::whisper: engine_ = makeWhisperEngine(locale_, model, modelsDirectory(), downloads); break;
        case EngineChoice::pocketsphinx: engine_ = makePocketSphinxEngine(locale_); break;
        case EngineChoice::automatic:
            engine_ = makeWhisperEngine(locale_, model, modelsDirectory(), downloads);
            fallback_ = makePocketSphinxEngine(locale_);
            break;
    }
}

Transcriber::Transcriber(std::string locale, std::shared_ptr<SpeechEngine> engine,
                         std::shared_ptr<SpeechEngine> fallback, Notice notice)
    : locale_(std::move(locale)),
      notice_(notice ? std::move(notice) : Notice(writeToStandardError)),
      engine_(std::move(engine)),
      fallback_(std::move(fallback)) {}

Transcriber::~Transcriber() { cancelLive(); }

void Transcriber::checkLocale() const {
    if (isSupportedLocale(locale_)) return;
    std::string list;
    for (const std::string& id : supportedLocaleIDs()) list += (list.empty() ? "" : ", ") + id;
    throw Error(
        kErrorDomain, 3,
        "Speech recognition does not know the locale \u201c" + locale_ + "\u201d. Supported locales: " + list + ".");
}

std::shared_ptr<SpeechEngine> Transcriber::recognizer() {
    checkLocale();
    {
        std::unique_lock lock(engineMutex_);
        if (installing_ && fallback_ && fallback_->isModelInstalled()) {
            // Another thread is downloading: recognize now with what is here.
            std::shared_ptr<SpeechEngine> standIn = fallback_;
            const bool tell = !std::exchange(toldAboutStandIn_, true);
            const std::string primary = displayName(*engine_);
            lock.unlock();
            if (tell)
                notice_("Using the " + displayName(*standIn) + " speech engine for " + locale_ + " until the " +
                        primary + " model is downloaded.");
            return standIn;
        }
    }
    install(false);
    const std::lock_guard lock(engineMutex_);
    if (!engine_)
        throw Error(kErrorDomain, 3,
                    "No on-device speech recognizer has a model for the language \u201c" + locale_ + "\u201d.");
    return engine_;
}

void Transcriber::ensureModelInstalled() { install(false); }

void Transcriber::installModelNow() { install(true); }

void Transcriber::fallBack(const std::string& reason) {
    std::string message;
    {
        const std::lock_guard lock(engineMutex_);
        if (!fallback_ || !engine_) return;
        message = "Using the " + displayName(*fallback_) + " speech engine for " + locale_ + ": " + reason;
        engine_ = std::exchange(fallback_, nullptr);
    }
    notice_(message);
}

void Transcriber::install(bool evenAfterFailure) {
    checkLocale();
    std::unique_lock lock(engineMutex_);
    installFinished_.wait(lock, [&] { return !installing_; });  // one download at a time
    if (!engine_) return;
    const std::shared_ptr<SpeechEngine> primary = engine_;
    const bool fallbackReady = fallback_ && fallback_->isModelInstalled();
    const std::string name = displayName(*primary);
    if (!primary->isModelInstalled()) {
        if (!primary->canInstallModel()) {
            // Nothing to fetch: the recognition that follows reports the missing model,
            // unless the automatic choice has another engine ready.
            lock.unlock();
            if (fallbackReady) fallBack("no " + name + " model for this language is installed or can be downloaded.");
            return;
        }
        std::optional<Error> failure;
        if (auto deferral = evenAfterFailure ? std::nullopt : primary->installDeferral()) {
            failure.emplace("ModelDownload", kDownloadOffline, *deferral);
            lock.unlock();
        } else {
            installing_ = true;
            lock.unlock();
            const auto finished = [&] {
                lock.lock();
                installing_ = false;
                lock.unlock();
                installFinished_.notify_all();
            };
            try {
                notice_("Downloading on-device speech model for " + locale_ + "\u2026");
                primary->installModel();
            } catch (const Error& error) {
                failure = error;
            } catch (...) {
                finished();  // the waiting threads must not wait for ever
                throw;
            }
            finished();
        }
        if (failure) {
            if (!fallbackReady) throw *failure;
            fallBack("the " + name + " model could not be installed. " + failure->description());
            return;
        }
    } else {
        lock.unlock();
    }
    if (!fallbackReady) return;  // without a choice the recognition itself reports a damaged model
    try {
        primary->loadModel();
    } catch (const Error& error) {
        fallBack("the " + name + " model cannot be used. " + error.description());
    }
}

std::optional<RecognitionContext> Transcriber::contextFor(const std::vector<std::string>& biasTerms) {
    if (biasTerms.empty()) return std::nullopt;
    return RecognitionContext{biasTerms};
}

DetailedTranscription Transcriber::transcribeDetailed(const std::filesystem::path& file,
                                                      const std::vector<std::string>& biasTerms,
                                                      const ProgressHandler& progress) {
    checkLocale();
    // The file is checked before any download: a typo must not cost a download.
    AudioFileReader reader(file);
    const std::shared_ptr<SpeechEngine> engine = recognizer();
    const auto context = contextFor(biasTerms);
    std::vector<float> samples;
    try {
        samples = readMonoSamples(reader, kEngineSampleRate);
    } catch (const AudioBufferConverter::ConversionError&) {
        throw Error("AudioFile", 9,
                    "The audio in \u201c" + file.string() + "\u201d cannot be converted for the recognizer.");
    }
    RecognitionProgress onProgress;
    if (progress) {
        const double total = static_cast<double>(samples.size()) / kEngineSampleRate;
        onProgress = [&progress, total](double seconds) { progress(seconds, total); };
    }
    const std::vector<RecognitionResult> results = engine->recognize(samples, context, onProgress);

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
    auto session = std::make_unique<LiveSession>();
    session->engine = recognizer();
    session->onUpdate = std::move(onUpdate);
    LiveSession* const raw = session.get();
    session->recognition = session->engine->startLive(contextFor(biasTerms), [raw](RecognitionResult result) {
        if (raw->input.isCancelled()) return;
        if (result.isFinal) {
            raw->finalized += result.text.plainText();
            raw->volatileText.clear();
        } else {
            raw->volatileText = result.text.plainText();
        }
        // Copies: the handler may keep them while this thread goes on changing the texts.
        if (raw->onUpdate) raw->onUpdate(raw->finalized, raw->volatileText);
    });
    session->results = std::thread([raw] { runResults(*raw); });
    const std::lock_guard lock(liveMutex_);
    live_ = std::move(session);
}

void Transcriber::runResults(LiveSession& session) {
    try {
        while (auto buffer = session.input.pop()) session.recognition->accept(buffer->channelSamples(0));
        if (!session.input.isCancelled()) session.recognition->finish();
    } catch (...) {
        if (!session.input.isCancelled()) session.failure = std::current_exception();
    }
}

void Transcriber::streamLiveAudio(const AudioBuffer& buffer) {
    const std::lock_guard lock(liveMutex_);
    if (!live_) return;
    std::optional<AudioBuffer> converted = live_->converter.convert(buffer, kAnalyzerFormat);
    if (!converted) {
        converted = buffer.detachedCopy();
        if (!converted)
            throw AudioBufferConverter::ConversionError(AudioBufferConverter::ConversionError::Kind::allocationFailed);
    }
    if (!live_->input.push(std::move(*converted))) live_->droppedAudio = true;
}

std::unique_ptr<Transcriber::LiveSession> Transcriber::takeLiveSession() {
    // After this the feeder finds no session; it never touches the one taken.
    const std::lock_guard lock(liveMutex_);
    return std::move(live_);
}

bool Transcriber::isLive() const {
    const std::lock_guard lock(liveMutex_);
    return live_ != nullptr;
}

std::string Transcriber::finishLive() {
    const std::unique_ptr<LiveSession> session = takeLiveSession();
    if (!session) return {};
    session->input.finish();
    if (session->results.joinable()) session->results.join();
    if (session->failure) std::rethrow_exception(session->failure);
    if (session->droppedAudio) throw LiveAudioOverrun();
    return unicode::trimWhitespaceAndNewlines(session->finalized + session->volatileText);
}

void Transcriber::cancelLive() noexcept {
    if (const std::unique_ptr<LiveSession> session = takeLiveSession()) session->stop();
}

std::string Transcriber::transcribeStreaming(const std::filesystem::path& file,
                                             const std::vector<std::string>& biasTerms, UpdateHandler onUpdate) {
    checkLocale();
    AudioFileReader reader(file);  // checked before any download
    startLive(biasTerms, std::move(onUpdate));
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
    std::vector<RecognitionResult> recognize(std::span<const float>, const std::optional<RecognitionContext>&,
                                             const RecognitionProgress& = {}) override {
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

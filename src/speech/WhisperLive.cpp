#include "speech/WhisperLive.h"

#include "core/Error.h"

#include <pthread.h>

#include <chrono>

namespace vesk {

using namespace whisper;

namespace {

using Clock = std::chrono::steady_clock;

// The committed text that goes into the decoder prompt: its end, cut at a word. whisper
// keeps only the prompt's last tokens anyway; this leaves room for the bias terms.
constexpr size_t kContextCharacters = 200;

std::string trimmedFront(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

WhisperSetup liveSetup(WhisperSetup setup) {
    setup.threads = liveThreadCount(setup.threads);
    return setup;
}

}  // namespace

WhisperLive::WhisperLive(WhisperEngine& engine, std::optional<std::string> prompt, ResultSink sink)
    : setup_(liveSetup(engine.setup())),
      settings_(engine.setup().live),
      context_(engine.model()),
      state_(newState(context_)),
      detector_(voiceDetector(engine.setup())),
      prompt_(std::move(prompt)),
      sink_(std::move(sink)),
      decoder_([this] { run(); }) {}

WhisperLive::~WhisperLive() {
    cancel();
    if (decoder_.joinable()) decoder_.join();
}

void WhisperLive::accept(std::span<const float> samples) {
    {
        const std::lock_guard lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);
        pending_.insert(pending_.end(), samples.begin(), samples.end());
        arrived_ += samples.size();
        if (provisionalRunning_ &&
            isSuperseded(arrived_ - provisionalArrivedAt_, false, !provisionalMayBeSuperseded_, settings_))
            superseded_.store(true);
    }
    wake_.notify_one();
}

void WhisperLive::finish() {
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
        // The final decode of the same audio follows.
        if (provisionalRunning_ &&
            isSuperseded(arrived_ - provisionalArrivedAt_, true, !provisionalMayBeSuperseded_, settings_))
            superseded_.store(true);
    }
    wake_.notify_one();
    if (decoder_.joinable()) decoder_.join();
    const std::lock_guard lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
}

void WhisperLive::cancel() noexcept {
    {
        // Under the lock, so the decoder thread cannot miss it between its check and its wait.
        const std::lock_guard lock(mutex_);
        cancelled_.store(true);
    }
    wake_.notify_all();
}

void WhisperLive::run() {
    pthread_setname_np(pthread_self(), "whisper-live");
    try {
        for (;;) {
            bool ending = false;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock,
                           [&] { return cancelled_.load() || ended_ || pending_.size() >= settings_.decodeInterval; });
                if (cancelled_.load()) return;
                open_.insert(open_.end(), pending_.begin(), pending_.end());
                pending_.clear();
                ending = ended_;
            }
            advance(ending);
            if (ending) return;
        }
    } catch (...) {
        if (cancelled_.load()) return;
        const std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
    }
}

// Steps through the open audio until a volatile decode ran or nothing is left to do.
void WhisperLive::advance(bool inputEnded) {
    using Kind = LiveStep::Kind;
    for (;;) {
        if (cancelled_.load()) return;
        std::optional<std::vector<SpeechSpan>> speech;
        if (detector_) speech = detector_->speech(open_);
        const LiveStep step = nextLiveStep(open_, speech, inputEnded, settings_);
        const std::optional<size_t> spoken = speechEndWithin(speech, step.end);
        switch (step.kind) {
            case Kind::nothing: return;
            case Kind::dropSilence:
                open_.erase(open_.begin(), open_.begin() + static_cast<std::ptrdiff_t>(step.end));
                openStart_ += step.end;
                break;
            case Kind::close: finalize(step.end, spoken, true, LiveDecodeReport::Kind::closed); break;
            case Kind::commit: finalize(step.end, spoken, false, LiveDecodeReport::Kind::committed); break;
            case Kind::closeRest: finalize(step.end, spoken, true, LiveDecodeReport::Kind::closed); return;
            case Kind::provisional:
                if (!overtakenAlready()) decodeProvisional(step.end, spoken);
                return;
        }
    }
}

// A volatile decode that newer audio, already waiting, would make useless before it
// begins is skipped (as if given up at once), so that a decoder that fell behind spends
// its time on final text and catches up.
bool WhisperLive::overtakenAlready() {
    bool overtaken = false;
    {
        const std::lock_guard lock(mutex_);
        overtaken = isSuperseded(pending_.size(), ended_, previousSuperseded_, settings_);
    }
    if (overtaken) previousSuperseded_ = true;
    return overtaken;
}

std::optional<std::string> WhisperLive::currentPrompt() const {
    if (committed_.empty()) return prompt_;
    std::string context = committed_;
    if (context.size() > kContextCharacters) {
        context.erase(0, context.size() - kContextCharacters);
        const auto space = context.find(' ');
        if (space != std::string::npos) context.erase(0, space + 1);
    }
    return prompt_ ? *prompt_ + ". " + context : context;
}

void WhisperLive::finalize(size_t through, std::optional<size_t> spoken, bool endsStretch,
                           LiveDecodeReport::Kind kind) {
    const AbortSignal abort{&cancelled_, nullptr};  // newer audio never makes a final decode useless
    LiveDecodeReport decoding{kind, false, 0, through, openStart_ + through, false};
    report(decoding);
    const auto began = Clock::now();
    RecognitionResult result = decode(context_, state_.get(), std::span<const float>(open_.data(), through), setup_,
                                      currentPrompt(), false, &abort, spoken);
    decoding.finished = true;
    decoding.seconds = secondsSince(began);
    open_.erase(open_.begin(), open_.begin() + static_cast<std::ptrdiff_t>(through));
    openStart_ += through;
    lastVolatile_.clear();
    if (hasText(result)) {
        const std::string text = trimmedFront(result.text.plainText());
        committed_ = endsStretch ? std::string() : committed_ + (committed_.empty() ? "" : " ") + text;
        result.isFinal = true;
        if (!result.text.runs.empty()) {
            std::string& first = result.text.runs.front().text;
            first = (anyFinal_ ? " " : "") + trimmedFront(first);
        }
        anyFinal_ = true;
        sink_(std::move(result));
    } else if (endsStretch) {
        committed_.clear();
    }
    report(decoding);
}

void WhisperLive::decodeProvisional(size_t through, std::optional<size_t> spoken) {
    {
        const std::lock_guard lock(mutex_);
        provisionalRunning_ = true;
        provisionalArrivedAt_ = arrived_;
        provisionalMayBeSuperseded_ = !previousSuperseded_;
        // finish may have come since the audio was taken.
        superseded_.store(isSuperseded(0, ended_, previousSuperseded_, settings_));
    }
    const auto stopped = [&] {
        const std::lock_guard lock(mutex_);
        provisionalRunning_ = false;
    };
    const AbortSignal abort{&cancelled_, &superseded_};
    LiveDecodeReport decoding{LiveDecodeReport::Kind::provisional, false, 0, through, openStart_ + through, false};
    report(decoding);
    const auto began = Clock::now();
    RecognitionResult result;
    try {
        result = decode(context_, state_.get(), std::span<const float>(open_.data(), through), setup_, currentPrompt(),
                        true, &abort, spoken);
    } catch (const Error& error) {
        stopped();
        if (error.code() != kAbortedCode || cancelled_.load()) throw;
        previousSuperseded_ = true;
        decoding.finished = decoding.superseded = true;
        decoding.seconds = secondsSince(began);
        report(decoding);
        return;
    }
    stopped();
    previousSuperseded_ = false;
    decoding.finished = true;
    decoding.seconds = secondsSince(began);
    const std::string text = result.text.plainText();
    if (text != lastVolatile_) {
        lastVolatile_ = text;
        result.isFinal = false;
        result.text = RecognizedText::plain((anyFinal_ && hasText(result) ? " " : "") + trimmedFront(text));
        sink_(std::move(result));
    }
    report(decoding);
}

void WhisperLive::report(const LiveDecodeReport& report) const {
    if (setup_.liveDecodeObserver) setup_.liveDecodeObserver(report);
}

}  // namespace vesk

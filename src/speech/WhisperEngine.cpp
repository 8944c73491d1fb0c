#include "speech/WhisperEngine.h"

#include "core/Error.h"
#include "speech/WhisperDecoding.h"
#include "speech/WhisperLive.h"

#include <whisper.h>

#include <QCryptographicHash>
#include <QFile>

#include <mutex>

namespace vesk {

using namespace whisper;

namespace {

void silenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr); });
}

// Whether the model file matches its checksum. A stamp beside it remembers a file
// already checked (by size and modification time), so the hash is computed once.
bool modelIsIntact(const std::filesystem::path& model, const std::string& sha1) {
    std::error_code error;
    const auto size = std::filesystem::file_size(model, error);
    const auto time = std::filesystem::last_write_time(model, error);
    if (error) return false;
    const std::string stamp = std::to_string(size) + " " + std::to_string(time.time_since_epoch().count()) + " " + sha1;
    const std::filesystem::path stampPath = model.string() + ".verified";
    QFile stampFile(QString::fromStdString(stampPath.string()));
    if (stampFile.open(QIODevice::ReadOnly) && stampFile.readAll().toStdString() == stamp) return true;
    QFile file(QString::fromStdString(model.string()));
    if (!file.open(QIODevice::ReadOnly)) return false;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file) || hash.result().toHex().toStdString() != sha1) return false;
    QFile out(QString::fromStdString(stampPath.string()));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(QByteArray::fromStdString(stamp));
    return true;
}

}  // namespace

WhisperEngine::WhisperEngine(WhisperSetup setup) : setup_(std::move(setup)) { silenceLibraryLog(); }

WhisperEngine::~WhisperEngine() {
    if (model_) whisper_free(model_);
}

bool WhisperEngine::isModelInstalled() const {
    std::error_code error;
    return std::filesystem::is_regular_file(setup_.modelPath, error);
}

std::optional<std::string> WhisperEngine::installDeferral() const {
    return setup_.installDeferral ? setup_.installDeferral() : std::nullopt;
}

void WhisperEngine::installModel() {
    if (setup_.installer) setup_.installer();
}

whisper_context* WhisperEngine::model() {
    const std::lock_guard lock(mutex_);
    if (model_) return model_;
    if (!isModelInstalled())
        throw Error(kDomain, 1, "The speech model \u201c" + setup_.modelPath.string() + "\u201d is not installed.");
    if (!setup_.expectedSha1.empty() && !modelIsIntact(setup_.modelPath, setup_.expectedSha1))
        throw Error(kDomain, 2,
                    "The speech model \u201c" + setup_.modelPath.string() +
                        "\u201d is damaged; delete it to download it again.");
    auto params = whisper_context_default_params();
    params.use_gpu = false;
    params.flash_attn = false;
    model_ = whisper_init_from_file_with_params_no_state(setup_.modelPath.c_str(), params);
    if (!model_)
        throw Error(
            kDomain, 2,
            "The speech model \u201c" + setup_.modelPath.string() + "\u201d could not be loaded; it may be damaged.");
    return model_;
}

std::optional<std::string> WhisperEngine::promptFor(const std::optional<RecognitionContext>& context) {
    if (!context || context->contextualStrings.empty()) return std::nullopt;
    std::string prompt;
    for (const std::string& term : context->contextualStrings) {
        if (!prompt.empty()) prompt += ", ";
        prompt += term;
    }
    return prompt;
}

std::vector<RecognitionResult> WhisperEngine::recognize(std::span<const float> samples,
                                                        const std::optional<RecognitionContext>& context,
                                                        const RecognitionProgress& progress) {
    whisper_context* loaded = model();
    const StatePtr state = newState(loaded);
    const auto prompt = promptFor(context);
    std::vector<SpeechSpan> spans;
    if (auto detector = voiceDetector(setup_)) {
        spans = detector->speech(samples);
    } else if (!samples.empty()) {
        spans.push_back({0, samples.size()});
    }
    std::vector<RecognitionResult> results;
    for (const SpeechSpan& span : spans) {
        results.push_back(
            decode(loaded, state.get(), samples.subspan(span.begin, span.end - span.begin), setup_, prompt));
        if (progress) progress(static_cast<double>(span.end) / kSampleRate);
    }
    return results;
}

std::unique_ptr<LiveRecognition> WhisperEngine::startLive(const std::optional<RecognitionContext>& context,
                                                          ResultSink sink) {
    return std::make_unique<WhisperLive>(*this, promptFor(context), std::move(sink));
}

}  // namespace vesk

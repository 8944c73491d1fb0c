#include "speech/SpeechEngines.h"

#include "core/AppPaths.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "speech/PocketSphinxEngine.h"
#include "speech/WhisperEngine.h"

#include <whisper.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace vesk {

namespace {

constexpr const char* kModelHost = "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";
constexpr const char* kVoiceModelHost = "https://huggingface.co/ggml-org/whisper-vad/resolve/main/";

// SHA-1 checksums published with the whisper.cpp models.
const std::map<std::string, std::string>& publishedChecksums() {
    static const std::map<std::string, std::string> checksums{
        {"tiny", "bd577a113a864445d4c299885e0cb97d4ba92b5f"},
        {"tiny.en", "c78c86eb1a8faa21b369bcd33207cc90d64ae9df"},
        {"base", "465707469ff3a37a2b9b8d8f89f2f99de7299dac"},
        {"base.en", "137c40403d78fd54d454da0f9bd998f78703390c"},
        {"small", "55356645c2b361a969dfd0ef2c5a50d530afd8d5"},
        {"small.en", "db8a495a91d927739e50b3fc1cc4c6b8f6c2d022"},
        {"medium", "fd9727b6e1217c2f614f9b698455c4ffd82463b4"},
        {"medium.en", "8c30f0e44ce9560643ebd10bbe50cd20eafd3723"},
        {"large-v3", "ad82bf6a9043ceed055076d0fd39f5f186ff8062"},
        {"large-v3-turbo", "4af2b29d7ec73d781377bfd1758ca957a807e941"},
    };
    return checksums;
}

constexpr std::chrono::hours kOfflineRetryDelay{1};

std::string minutes(long long count) {
    if (count < 1) return "less than a minute";
    return std::to_string(count) + (count == 1 ? " minute" : " minutes");
}

bool isEnglish(const std::string& locale) { return languageOf(locale) == "en"; }

void printProgress(int64_t received, std::optional<int64_t> total) {
    const std::string line = "\r" + progressBar(received, total);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

EngineChoice engineChoice(const std::optional<std::string>& setting) {
    if (setting == "whisper") return EngineChoice::whisper;
    if (setting == "pocketsphinx") return EngineChoice::pocketsphinx;
    return EngineChoice::automatic;
}

std::string languageOf(const std::string& locale) {
    const auto end = locale.find_first_of("-_");
    std::string language = locale.substr(0, end);
    std::transform(language.begin(), language.end(), language.begin(), [](unsigned char c) { return std::tolower(c); });
    return language;
}

bool sameLocale(const std::string& a, const std::string& b) {
    const auto canonical = [](std::string id) {
        for (char& c : id) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return id;
    };
    return canonical(a) == canonical(b);
}

bool isSupportedLocale(const std::string& locale) {
    // whisper's own lookup prints a complaint for a language it does not know; walk its list.
    const std::string language = languageOf(locale);
    for (int id = 0; id <= whisper_lang_max_id(); ++id)
        if (language == whisper_lang_str(id)) return true;
    return false;
}

std::string whisperModelName(const std::string& locale, const std::optional<std::string>& setting) {
    if (setting && !setting->empty()) return *setting;
    return isEnglish(locale) ? "base.en" : "base";
}

std::string whisperModelFileName(const std::string& model) { return "ggml-" + model + ".bin"; }

std::optional<std::string> modelMirror() {
    std::optional<std::string> mirror = Settings::string("speechModelMirror");
    if (!mirror || mirror->empty()) return std::nullopt;
    if (mirror->back() != '/') *mirror += '/';
    return mirror;
}

std::optional<ModelSource> whisperModelSource(const std::string& model) {
    const auto found = publishedChecksums().find(model);
    if (found == publishedChecksums().end()) return std::nullopt;
    const std::string file = whisperModelFileName(model);
    return ModelSource{modelMirror().value_or(kModelHost) + file, file, std::nullopt, found->second};
}

ModelSource voiceModelSource() {
    const std::string file = "ggml-silero-v6.2.0.bin";
    return ModelSource{modelMirror().value_or(kVoiceModelHost) + file, file, 885098,
                       "470e5d9d094ddba2f0a512cecc3732a252188abd"};
}

std::filesystem::path modelsDirectory() { return AppPaths::supportDirectory() / "models"; }

std::vector<std::string> whisperModelNames() {
    return {"tiny.en", "tiny",      "base.en", "base",           "small.en",
            "small",   "medium.en", "medium",  "large-v3-turbo", "large-v3"};
}

std::unique_ptr<SpeechEngine> makeWhisperEngine(const std::string& locale, const std::string& model,
                                                const std::filesystem::path& directory,
                                                std::shared_ptr<const DownloadObserver> downloads) {
    WhisperSetup setup;
    setup.modelPath = directory / whisperModelFileName(model);
    setup.vadModelPath = directory / voiceModelSource().fileName;
    const std::string language = languageOf(locale);
    setup.language = isSupportedLocale(locale) ? language : "auto";
    if (auto source = whisperModelSource(model)) {
        setup.expectedSha1 = source->sha1;
        setup.installer = [source = *source, directory, downloads] {
            std::error_code error;
            for (const ModelSource& file : {source, voiceModelSource()}) {
                if (std::filesystem::is_regular_file(directory / file.fileName, error)) continue;
                DownloadLimits limits;
                if (downloads) limits.cancelled = downloads->cancelled;
                try {
                    downloadModel(file, directory, downloads ? downloads->progress : printProgress, limits);
                } catch (const Error& failure) {
                    if (failure.code() != kDownloadOffline) throw;
                    throw Error(failure.domain(), failure.code(),
                                failure.description() + " Downloading is tried again in an hour.");
                }
                if (!downloads) std::fputc('\n', stderr);
            }
        };
        setup.installDeferral = [directory]() -> std::optional<std::string> {
            const auto failure = recentDownloadFailure(directory, kOfflineRetryDelay);
            if (!failure) return std::nullopt;
            const auto now = std::chrono::system_clock::now();
            const auto ago = std::chrono::duration_cast<std::chrono::minutes>(now - failure->time).count();
            const auto left =
                std::chrono::duration_cast<std::chrono::minutes>(failure->time + kOfflineRetryDelay - now);
            return failure->reason + " That was " + minutes(ago) + " ago; downloading is tried again in " +
                   minutes(std::max<long long>(1, left.count())) + ".";
        };
    }
    return std::make_unique<WhisperEngine>(std::move(setup));
}

std::unique_ptr<SpeechEngine> makePocketSphinxEngine(const std::string& locale) {
    auto model = PocketSphinxModel::forLocale(locale);
    if (!model) return nullptr;
    return std::make_unique<PocketSphinxEngine>(std::move(*model));
}

std::vector<std::string> supportedLocaleIDs() {
    std::vector<std::string> ids{"en-US", "en-GB", "en-AU", "en-CA", "en-IN"};
    for (int id = 0; id <= whisper_lang_max_id(); ++id) {
        const std::string code = whisper_lang_str(id);
        if (code != "en" && std::find(ids.begin(), ids.end(), code) == ids.end()) ids.push_back(code);
    }
    return ids;
}

std::vector<std::string> installedLocaleIDs() {
    std::vector<std::string> ids;
    std::error_code error;
    const auto directory = modelsDirectory();
    const auto model = Settings::string("speechModel");
    const bool english =
        std::filesystem::is_regular_file(directory / whisperModelFileName(whisperModelName("en-US", model)), error) ||
        (PocketSphinxModel::forLocale("en-US") && PocketSphinxModel::forLocale("en-US")->isInstalled());
    if (english)
        for (const auto& id : {"en-US", "en-GB", "en-AU", "en-CA", "en-IN"}) ids.emplace_back(id);
    if (std::filesystem::is_regular_file(directory / whisperModelFileName(whisperModelName("de", model)), error))
        for (const auto& id : supportedLocaleIDs())
            if (languageOf(id) != "en") ids.push_back(id);
    return ids;
}

}  // namespace vesk

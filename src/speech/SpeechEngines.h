#pragma once

#include "speech/ModelDownload.h"
#include "speech/SpeechEngine.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Which recognizer serves a locale, where its models live and where they come from.
namespace vesk {

// The "speechEngine" setting: "whisper", "pocketsphinx", anything else (missing
// included) is automatic: whisper when its model is or can be installed, otherwise
// PocketSphinx where it has a model for the locale.
enum class EngineChoice { automatic, whisper, pocketsphinx };
EngineChoice engineChoice(const std::optional<std::string>& setting);

// "speechModel" when set, else "base.en" for English locales and "base" otherwise.
std::string whisperModelName(const std::string& locale, const std::optional<std::string>& setting);
// The language part of a locale identifier in lower case ("en-US", "EN_us" give "en").
std::string languageOf(const std::string& locale);
// Locale identifiers compared as BCP-47 does: case-insensitive, "_" the same as "-".
bool sameLocale(const std::string& a, const std::string& b);
// Whether some engine can recognize the locale's language.
bool isSupportedLocale(const std::string& locale);

// Where the published whisper.cpp models and the voice-activity model are fetched from,
// with their checksums; nothing for a model name we do not know. The "speechModelMirror"
// setting, when set, is a folder URL that serves the same files under the same names
// (HTTPS, or plain HTTP on this computer); the checksums are checked all the same.
std::optional<ModelSource> whisperModelSource(const std::string& model);
ModelSource voiceModelSource();
std::string whisperModelFileName(const std::string& model);

// "<support>/models".
std::filesystem::path modelsDirectory();

// A whisper engine for the locale with models in `directory`; its installer downloads
// the model and the voice-activity model, reporting to `downloads` when given, else with a
// progress bar on standard error. After a download that found the computer offline it
// defers the next one for an hour.
std::unique_ptr<SpeechEngine> makeWhisperEngine(const std::string& locale, const std::string& model,
                                                const std::filesystem::path& directory,
                                                std::shared_ptr<const DownloadObserver> downloads = nullptr);
// The whisper models that can be downloaded, smallest first.
std::vector<std::string> whisperModelNames();
// The PocketSphinx engine, when it has a model for the locale.
std::unique_ptr<SpeechEngine> makePocketSphinxEngine(const std::string& locale);

// Locale identifiers some engine can recognize, and those whose model is installed now.
std::vector<std::string> supportedLocaleIDs();
std::vector<std::string> installedLocaleIDs();

}  // namespace vesk

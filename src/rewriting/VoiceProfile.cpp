#include "rewriting/VoiceProfile.h"

#include "core/Log.h"
#include "core/Settings.h"
#include "rewriting/RewriteService.h"
#include "text/Unicode.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>

namespace vesk::VoiceProfileStore {
namespace {

using nlohmann::json;

// The value after a "Title:" or "Style:" prefix, when `line` starts with `prefix` in any
// letter case.
std::optional<std::string> valueAfter(const std::vector<std::string>& characters, std::string_view prefix) {
    const size_t length = prefix.size();  // the prefixes are ASCII: one character per byte
    if (characters.size() < length) return std::nullopt;
    std::string head;
    for (size_t i = 0; i < length; ++i) head += characters[i];
    if (unicode::toLower(head) != prefix) return std::nullopt;
    std::string rest;
    for (size_t i = length; i < characters.size(); ++i) rest += characters[i];
    return unicode::trimHorizontalWhitespace(rest);
}

// Models like to quote the title or end it with a full stop.
std::string trimTitleDecoration(std::string_view title) {
    const std::u32string points = unicode::codePoints(title);
    const auto decoration = [](char32_t c) { return c == U'"' || c == U'\u201C' || c == U'\u201D' || c == U'.'; };
    size_t first = 0;
    size_t last = points.size();
    while (first < last && decoration(points[first])) ++first;
    while (last > first && decoration(points[last - 1])) --last;
    return unicode::fromCodePoints(std::u32string_view(points).substr(first, last - first));
}

}  // namespace

std::string encode(const VoiceProfile& profile) {
    const json object{
        {"title", profile.title},
        {"summary", profile.summary},
        {"wordCountAtGeneration", profile.wordCountAtGeneration},
    };
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<VoiceProfile> decode(std::string_view bytes) {
    try {
        const json object = json::parse(bytes);
        if (!object.is_object()) return std::nullopt;
        const json& title = object.at("title");
        const json& summary = object.at("summary");
        const json& words = object.at("wordCountAtGeneration");
        if (!title.is_string() || !summary.is_string() || !words.is_number_integer()) return std::nullopt;
        if (words.is_number_unsigned() && words.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) return std::nullopt;
        return VoiceProfile{title.get<std::string>(), summary.get<std::string>(), words.get<std::int64_t>()};
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::optional<VoiceProfile> load() {
    const auto bytes = Settings::bytes(kSettingsKey);
    if (!bytes) return std::nullopt;
    return decode(*bytes);
}

void save(const VoiceProfile& profile) {
    if (const auto stored = Settings::bytes(kSettingsKey); stored && !decode(*stored)) {
        Settings::setBytes(kUnreadableSettingsKey, *stored);
        logWarning("Project Vesk kept an unreadable voice profile under the settings key \"" +
                   std::string(kUnreadableSettingsKey) + "\"");
    }
    Settings::setBytes(kSettingsKey, encode(profile));
}

std::string sampleText(const std::vector<HistoryEntry>& entries) {
    std::string joined;
    const size_t count = std::min(entries.size(), kSampleEntryLimit);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) joined += '\n';
        joined += entries[i].transcript;
    }
    const auto characters = unicode::graphemes(joined);
    if (characters.size() <= kSampleCharacterLimit) return joined;
    std::string sample;
    for (size_t i = 0; i < kSampleCharacterLimit; ++i) sample += characters[i];
    return sample;
}

std::optional<VoiceProfile> parseAnswer(std::string_view answer, std::int64_t totalWords) {
    std::optional<std::string> title;
    std::string summary;
    size_t start = 0;
    while (start <= answer.size()) {
        const size_t end = std::min(answer.find('\n', start), answer.size());
        const auto characters =
            unicode::graphemes(unicode::trimHorizontalWhitespace(answer.substr(start, end - start)));
        if (auto value = valueAfter(characters, "title:"))
            title = trimTitleDecoration(*value);
        else if (auto style = valueAfter(characters, "style:"))
            summary = std::move(*style);
        start = end + 1;
    }
    if (!title || title->empty() || unicode::graphemes(*title).size() > kTitleCharacterLimit) return std::nullopt;
    return VoiceProfile{std::move(*title), std::move(summary), totalWords};
}

namespace {

QCoro::Task<std::optional<VoiceProfile>> generateFromSample(std::string sample, std::int64_t totalWords,
                                                            RewriteService& engine) {
    if (engine.availabilityNote() || sample.empty()) co_return std::nullopt;
    std::string answer;
    bool failed = false;
    try {
        answer = co_await engine.rewrite(std::move(sample), std::string(kGenerationInstructions));
    } catch (...) {
        failed = true;
    }
    if (failed) co_return std::nullopt;
    std::optional<VoiceProfile> profile = parseAnswer(answer, totalWords);
    if (profile) save(*profile);
    co_return profile;
}

}  // namespace

QCoro::Task<std::optional<VoiceProfile>> generate(const std::vector<HistoryEntry>& entries, std::int64_t totalWords,
                                                  RewriteService& engine) {
    // The sample is taken now, so the caller's list need not outlive the model's answer.
    return generateFromSample(sampleText(entries), totalWords, engine);
}

}  // namespace vesk::VoiceProfileStore

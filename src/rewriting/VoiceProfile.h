#pragma once

#include "history/HistoryStore.h"

#include <QCoro/QCoroTask>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

class RewriteService;

// A playful persona derived from the person's own dictations: a two-word title and one
// sentence about how they dictate.
struct VoiceProfile {
    std::string title;    // 1 to 40 characters
    std::string summary;  // may be empty
    std::int64_t wordCountAtGeneration = 0;

    bool operator==(const VoiceProfile&) const = default;
};

// Stores the profile in the settings under "voiceProfile" as JSON bytes, and holds the
// deterministic halves of generating one: the sample sent to the model and the reading
// of its answer.
namespace VoiceProfileStore {

inline constexpr const char* kSettingsKey = "voiceProfile";
// Where stored bytes that no longer decode are kept before a new profile replaces them.
inline constexpr const char* kUnreadableSettingsKey = "voiceProfileUnreadable";
inline constexpr size_t kSampleEntryLimit = 30;
inline constexpr size_t kSampleCharacterLimit = 4000;
inline constexpr size_t kTitleCharacterLimit = 40;

// The instructions the model gets with the sample.
inline constexpr std::string_view kGenerationInstructions =
    "You will receive samples of one person's dictated speech. Invent a short, fun two-word persona title that "
    "captures what they talk about and how they speak (examples of the format: \"Design Inspector\", \"Pipeline "
    "Poet\", \"Deadline Whisperer\"). Then write one short sentence (max 14 words) describing their dictation style. "
    "Answer in exactly this format, nothing else:\n"
    "Title: <two word title>\n"
    "Style: <one sentence>";

// The stored profile; nothing when there is none or it does not decode.
std::optional<VoiceProfile> load();
// Stores the profile. Stored bytes that no longer decode are first copied under
// kUnreadableSettingsKey, so a new profile never erases them unseen.
void save(const VoiceProfile& profile);

// The JSON form stored in the settings, with exactly "title", "summary" and
// "wordCountAtGeneration"; decoding needs all three.
std::string encode(const VoiceProfile& profile);
std::optional<VoiceProfile> decode(std::string_view bytes);

// The transcripts of the first 30 entries joined by line feeds, cut at 4000 characters.
std::string sampleText(const std::vector<HistoryEntry>& entries);

// Reads the model's "Title: ..." and "Style: ..." lines. Nothing when the title is
// missing, empty or longer than 40 characters.
std::optional<VoiceProfile> parseAnswer(std::string_view answer, std::int64_t totalWords);

// Asks the model for a profile from the sample of `entries` (read before this returns)
// and saves and returns it. Nothing, silently, when the model is unavailable, the sample
// is empty, the rewrite fails or the answer holds no usable title; the stored profile is
// then left as it was. `engine` must outlive the task.
QCoro::Task<std::optional<VoiceProfile>> generate(const std::vector<HistoryEntry>& entries, std::int64_t totalWords,
                                                  RewriteService& engine);

}  // namespace VoiceProfileStore
}  // namespace vesk

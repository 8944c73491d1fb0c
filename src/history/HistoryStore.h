#pragma once

#include "core/OutputMode.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Dates in the history are seconds since 2001-01-01 00:00:00 UTC, the form the file
// stores, so that a date read back is exactly the date written.
inline constexpr double kReferenceDateUnixSeconds = 978307200.0;
inline constexpr double historyDateFromUnixSeconds(double unixSeconds) {
    return unixSeconds - kReferenceDateUnixSeconds;
}
// The most distant past date, used where a date is needed but there is none.
inline constexpr double kDistantPastDate = -63114076800.0;

// One finished dictation: what was said, what was delivered, when and how.
struct HistoryEntry {
    std::string id;  // upper-case UUID; identity for updates and de-duplication
    std::string transcript;
    std::string renderedText;
    double date = 0;                 // seconds since 2001-01-01 00:00:00 UTC
    std::optional<double> duration;  // recording length in seconds, when measured
    OutputMode outputMode = OutputMode::prompt;

    bool operator==(const HistoryEntry&) const = default;

    // Prints "PASS: speech history migration" or "FAIL: ..." and returns the verdict.
    static bool runSelfTest();
};

// A run of related dictations, titled after its newest entry.
struct HistoryProject {
    std::string id;  // the id of the newest entry
    std::string title;
    std::vector<HistoryEntry> entries;  // newest first

    double newestDate() const { return entries.empty() ? kDistantPastDate : entries.front().date; }
    bool operator==(const HistoryProject&) const = default;
};

// The document stored in "history.json": a compact JSON array, newest first.
std::string encodeHistory(const std::vector<HistoryEntry>& entries);
// Reads a document, including the legacy form with a single "text" per entry. Any bad
// entry fails the whole document: nothing is returned.
std::optional<std::vector<HistoryEntry>> decodeHistory(std::string_view document);

// The most recent dictations, newest first, persisted in "history.json" in the support
// directory. Every change rewrites the whole file atomically.
class HistoryStore {
public:
    static constexpr size_t limit = 50;

    // Loads "history.json" from the support directory.
    HistoryStore();
    // Loads the given file instead (tools and tests).
    explicit HistoryStore(std::filesystem::path file);

    const std::vector<HistoryEntry>& entries() const { return entries_; }
    const std::filesystem::path& file() const { return file_; }

    // Inserts the entry as newest (replacing one with the same id), keeps the newest 50
    // and saves.
    void add(HistoryEntry entry);

    // Edits of one entry found by id; an unknown id changes and writes nothing.
    // Returns whether the entry was found.
    bool updateRenderedText(std::string_view id, std::string renderedText,
                            std::optional<OutputMode> outputMode = std::nullopt);
    bool updateTranscript(std::string_view id, std::string transcript, std::string renderedText);

    // Writes the whole list. Failures are logged and otherwise ignored; the next save
    // writes the full list again.
    void save();

private:
    void load();
    HistoryEntry* find(std::string_view id);

    std::filesystem::path file_;
    std::vector<HistoryEntry> entries_;
    // Set when a file was present but could not be read or decoded: it is moved aside
    // before anything replaces it, so one bad entry never costs the whole history.
    bool unreadableFileOnDisk_ = false;
};

}  // namespace vesk

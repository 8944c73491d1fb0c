#include "history/HistoryStore.h"

#include "core/AppPaths.h"
#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/Uuid.h"
#include "history/HistoryOrganizer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

namespace vesk {
namespace {

using nlohmann::json;

// Signals a document that cannot be read as a history; caught inside decodeHistory.
struct MalformedHistory {};

// A member that is absent or null counts as not given.
const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::optional<std::string> optionalString(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_string()) throw MalformedHistory{};
    return value->get<std::string>();
}

HistoryEntry decodeEntry(const json& object) {
    if (!object.is_object()) throw MalformedHistory{};
    HistoryEntry entry;

    if (const auto id = optionalString(object, "id")) {
        if (!parseUuid(*id, &entry.id)) throw MalformedHistory{};
    } else {
        entry.id = makeUuid();
    }

    const json* date = member(object, "date");
    if (!date || !date->is_number()) throw MalformedHistory{};
    entry.date = date->get<double>();

    if (const json* duration = member(object, "duration")) {
        if (!duration->is_number()) throw MalformedHistory{};
        entry.duration = duration->get<double>();
    }

    const auto legacyText = optionalString(object, "text");
    const auto renderedText = optionalString(object, "renderedText");
    entry.renderedText = renderedText ? *renderedText : legacyText.value_or("");
    const auto transcript = optionalString(object, "transcript");
    entry.transcript = transcript ? *transcript : legacyText ? *legacyText : entry.renderedText;

    if (const auto mode = optionalString(object, "outputMode")) {
        const auto parsed = outputModeFromStoredValue(*mode);
        if (!parsed) throw MalformedHistory{};
        entry.outputMode = *parsed;
    }
    return entry;
}

std::filesystem::path defaultHistoryFile() { return AppPaths::supportDirectory() / "history.json"; }

}  // namespace

std::string encodeHistory(const std::vector<HistoryEntry>& entries) {
    json document = json::array();
    for (const HistoryEntry& entry : entries) {
        json object{
            {"id", entry.id},
            {"transcript", entry.transcript},
            {"renderedText", entry.renderedText},
            {"date", entry.date},
            {"outputMode", std::string(storedValue(entry.outputMode))},
        };
        if (entry.duration) object["duration"] = *entry.duration;
        document.push_back(std::move(object));
    }
    // Text that is not valid UTF-8 is written with replacement characters rather than
    // failing the whole save.
    return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<std::vector<HistoryEntry>> decodeHistory(std::string_view document) {
    try {
        const json parsed = json::parse(document);
        if (!parsed.is_array()) return std::nullopt;
        std::vector<HistoryEntry> entries;
        entries.reserve(parsed.size());
        for (const json& object : parsed) entries.push_back(decodeEntry(object));
        return entries;
    } catch (const MalformedHistory&) {
        return std::nullopt;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

HistoryStore::HistoryStore() : HistoryStore(defaultHistoryFile()) {}

HistoryStore::HistoryStore(std::filesystem::path file) : file_(std::move(file)) { load(); }

void HistoryStore::load() {
    std::error_code ec;
    const bool present = std::filesystem::exists(file_, ec);
    const auto bytes = AtomicFile::read(file_);
    if (!bytes) {
        // A missing file is a fresh start; a present one we cannot read must survive.
        unreadableFileOnDisk_ = present;
        if (present) logWarning("Project Vesk could not read " + file_.string() + "; the history starts empty");
        return;
    }
    auto decoded = decodeHistory(*bytes);
    if (!decoded) {
        unreadableFileOnDisk_ = true;
        logWarning("Project Vesk could not decode " + file_.string() + "; the history starts empty");
        return;
    }
    entries_ = std::move(*decoded);
    // Rewrites a legacy document in the current form at once.
    save();
}

void HistoryStore::save() {
    if (unreadableFileOnDisk_) {
        std::error_code ec;
        if (!AtomicFile::moveAside(file_) && std::filesystem::exists(file_, ec)) {
            // Replacing it now would erase the person's old history; try again next time.
            return;
        }
        unreadableFileOnDisk_ = false;
    }
    if (!AtomicFile::write(file_, encodeHistory(entries_)))
        logWarning("Project Vesk could not save the history to " + file_.string());
}

void HistoryStore::add(HistoryEntry entry) {
    std::erase_if(entries_, [&](const HistoryEntry& existing) { return existing.id == entry.id; });
    entries_.insert(entries_.begin(), std::move(entry));
    if (entries_.size() > limit) entries_.resize(limit);
    save();
}

HistoryEntry* HistoryStore::find(std::string_view id) {
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const HistoryEntry& e) { return e.id == id; });
    return it == entries_.end() ? nullptr : &*it;
}

bool HistoryStore::updateRenderedText(std::string_view id, std::string renderedText,
                                      std::optional<OutputMode> outputMode) {
    HistoryEntry* entry = find(id);
    if (!entry) return false;
    entry->renderedText = std::move(renderedText);
    if (outputMode) entry->outputMode = *outputMode;
    save();
    return true;
}

bool HistoryStore::updateTranscript(std::string_view id, std::string transcript, std::string renderedText) {
    HistoryEntry* entry = find(id);
    if (!entry) return false;
    entry->transcript = std::move(transcript);
    entry->renderedText = std::move(renderedText);
    save();
    return true;
}

bool HistoryEntry::runSelfTest() {
    const auto legacy = decodeHistory(R"([{"text":"Legacy prompt","date":0,"duration":3.5}])");
    const bool legacyReads = legacy && !legacy->empty() && legacy->front().transcript == "Legacy prompt" &&
                             legacy->front().renderedText == "Legacy prompt";

    const HistoryEntry spoken{
        makeUuid(), "What the person said", "Clear request for the AI", historyDateFromUnixSeconds(12),
        4.0,        OutputMode::clean};
    const auto roundTrip = decodeHistory(encodeHistory({spoken}));
    const bool roundTrips = roundTrip && roundTrip->size() == 1 && roundTrip->front() == spoken;

    const bool modeTitles = displayName(OutputMode::prompt) == "Prompt" && displayName(OutputMode::clean) == "Clean" &&
                            displayName(OutputMode::exact) == "Exact" && kAllOutputModes[0] == OutputMode::prompt &&
                            kAllOutputModes[1] == OutputMode::clean && kAllOutputModes[2] == OutputMode::exact;

    const std::vector<HistoryEntry> sample{
        {makeUuid(), "Please create a Project Vesk history workspace.", "Create a Project Vesk history workspace.",
         historyDateFromUnixSeconds(600), std::nullopt, OutputMode::prompt},
        {makeUuid(), "Remove the lock icons from the history list.", "Remove lock icons from the history list.",
         historyDateFromUnixSeconds(300), std::nullopt, OutputMode::prompt},
        {makeUuid(), "Draft an unrelated grocery list.", "Draft an unrelated grocery list.",
         historyDateFromUnixSeconds(-7200), std::nullopt, OutputMode::prompt},
    };
    const auto projects = HistoryOrganizer::projects(sample);
    const bool groups = projects.size() == 2 && projects[0].entries.size() == 2 &&
                        projects[0].title == "Project Vesk history workspace";

    const bool passed = legacyReads && roundTrips && modeTitles && groups;
    std::cout << (passed ? "PASS" : "FAIL") << ": speech history migration" << std::endl;
    return passed;
}

}  // namespace vesk

#pragma once

#include "history/HistoryStore.h"

#include <set>
#include <string>
#include <vector>

// Groups the flat, newest-first history into projects: runs of dictations made close
// together in time or about the same things, each titled after its newest entry. Pure.
namespace vesk::HistoryOrganizer {

inline constexpr double kCloseGapSeconds = 720;   // always the same project
inline constexpr double kTopicGapSeconds = 5400;  // never the same project beyond this
inline constexpr size_t kMinimumSharedKeywords = 2;
inline constexpr double kMinimumOverlap = 0.28;
inline constexpr size_t kTitleWordLimit = 7;
inline constexpr size_t kMinimumKeywordLength = 3;
inline constexpr const char* kUntitled = "Untitled recording";

// Projects, newest first; each is a run of consecutive entries in date order.
std::vector<HistoryProject> projects(const std::vector<HistoryEntry>& entries);

// A short title from the delivered text: request phrasing removed, first sentence, at
// most seven words, capitalised.
std::string entryTitle(const HistoryEntry& entry);

// The topic words of an entry: lower-cased words of 3 or more characters that are not
// stop words, from the transcript and the delivered text.
std::set<std::string> keywords(const HistoryEntry& entry);

// Whether `entry` (not newer than the group's oldest member) continues `group`.
bool belongs(const HistoryEntry& entry, const std::vector<HistoryEntry>& group);

}  // namespace vesk::HistoryOrganizer

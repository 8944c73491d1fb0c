#pragma once

#include "history/HistoryStore.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What the history page shows for the timeline: which entries a search keeps and the
// lines under each project and entry. Pure apart from the local time zone and language.
namespace vesk::HistoryPresentation {

// The entries a search keeps, in order. The search is trimmed and lower-cased; an empty
// one keeps everything. An entry stays when the search is contained in its rendered text,
// its transcript, its mode name or its title (`titleOf`, asked only when the others fail).
std::vector<HistoryEntry> filter(const std::vector<HistoryEntry>& timeline, std::string_view search,
                                 const std::function<std::string(const HistoryEntry&)>& titleOf);

// "Today", "Yesterday" or the abbreviated month and day ("Dec 4") of `date` (history
// seconds) in the local time zone, as seen at `now` (history seconds).
std::string dayLabel(double date, double now);

// "Today · 3 recordings": the day of the newest entry, then the count.
std::string projectMetadata(const HistoryProject& project, double now);

// "12 words · 8 sec": the transcript's word count and, when stored, the rounded duration.
std::string entryMetadata(const HistoryEntry& entry);

// The current time in history seconds.
double now();

}  // namespace vesk::HistoryPresentation

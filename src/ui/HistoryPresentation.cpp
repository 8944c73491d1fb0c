#include "ui/HistoryPresentation.h"

#include "text/Unicode.h"
#include "text/Words.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>

namespace vesk::HistoryPresentation {
namespace {

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The local calendar day of a history date, as days since the epoch of the local calendar.
long localDay(double historyDate) {
    const std::time_t seconds = static_cast<std::time_t>(std::floor(historyDate + kReferenceDateUnixSeconds));
    std::tm local{};
    localtime_r(&seconds, &local);
    // Days from civil date, so that daylight-saving shifts never count as a day.
    const int y = local.tm_year + 1900 - (local.tm_mon < 2 ? 1 : 0);
    const int m = local.tm_mon + 1;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

std::string abbreviatedMonthAndDay(double historyDate) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createInstanceForSkeleton(icu::UnicodeString("MMMd"), icu::Locale::getDefault(), status));
    if (U_FAILURE(status) || !format) return {};
    icu::UnicodeString text;
    format->format((historyDate + kReferenceDateUnixSeconds) * 1000.0, text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

std::vector<HistoryEntry> filter(const std::vector<HistoryEntry>& timeline, std::string_view search,
                                 const std::function<std::string(const HistoryEntry&)>& titleOf) {
    const std::string query = unicode::toLower(unicode::trimWhitespaceAndNewlines(search));
    if (query.empty()) return timeline;
    std::vector<HistoryEntry> kept;
    for (const HistoryEntry& entry : timeline) {
        if (contains(unicode::toLower(entry.renderedText), query) ||
            contains(unicode::toLower(entry.transcript), query) ||
            contains(unicode::toLower(displayName(entry.outputMode)), query) ||
            contains(unicode::toLower(titleOf(entry)), query))
            kept.push_back(entry);
    }
    return kept;
}

std::string dayLabel(double date, double now) {
    const long difference = localDay(now) - localDay(date);
    if (difference == 0) return "Today";
    if (difference == 1) return "Yesterday";
    return abbreviatedMonthAndDay(date);
}

std::string projectMetadata(const HistoryProject& project, double now) {
    const size_t count = project.entries.size();
    return dayLabel(project.newestDate(), now) + " · " + std::to_string(count) +
           (count == 1 ? " recording" : " recordings");
}

std::string entryMetadata(const HistoryEntry& entry) {
    std::string line = std::to_string(words::splitAtWhitespace(entry.transcript).size()) + " words";
    if (entry.duration) line += " · " + std::to_string(static_cast<long long>(std::llround(*entry.duration))) + " sec";
    return line;
}

double now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return historyDateFromUnixSeconds(std::chrono::duration<double>(since).count());
}

}  // namespace vesk::HistoryPresentation

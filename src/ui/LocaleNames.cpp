#include "ui/LocaleNames.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace vesk {

std::string localeDisplayName(const std::string& id) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(id, status);
    if (U_FAILURE(status) || locale.isBogus()) return id;
    icu::UnicodeString name;
    locale.getDisplayName(icu::Locale::getDefault(), name);
    // ICU echoes a language it has no name for ("jw"), which then sorts by itself.
    std::string out;
    name.toUTF8String(out);
    return out.empty() ? id : out;
}

std::vector<LocaleChoice> sortedByDisplayName(const std::vector<std::string>& ids) {
    std::vector<LocaleChoice> choices;
    choices.reserve(ids.size());
    for (const std::string& id : ids) choices.push_back({id, localeDisplayName(id)});
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status) || !collator) {
        std::stable_sort(choices.begin(), choices.end(),
                         [](const LocaleChoice& a, const LocaleChoice& b) { return a.displayName < b.displayName; });
        return choices;
    }
    std::stable_sort(choices.begin(), choices.end(), [&](const LocaleChoice& a, const LocaleChoice& b) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compareUTF8(a.displayName, b.displayName, compareStatus) == UCOL_LESS;
    });
    return choices;
}

}  // namespace vesk

#pragma once

#include <string>
#include <vector>

namespace vesk {

// A recognition locale as the language picker lists it.
struct LocaleChoice {
    std::string id;           // BCP-47, as the recognizer knows it
    std::string displayName;  // in the current language; the identifier when it has none

    bool operator==(const LocaleChoice&) const = default;
};

// The display name of a BCP-47 identifier in the current language ("en-GB" gives
// "English (United Kingdom)"); the identifier itself when the language is unknown.
std::string localeDisplayName(const std::string& id);

// The identifiers with their display names, sorted by display name in the current
// language's collation order, ascending. Pure apart from the current language.
std::vector<LocaleChoice> sortedByDisplayName(const std::vector<std::string>& ids);

}  // namespace vesk

#pragma once

#include <string>

namespace vesk {

// A fresh random (version 4) UUID in the upper-case form our files store.
std::string makeUuid();

// True when `text` is a UUID in either letter case; `normalized` gets the upper-case form.
bool parseUuid(const std::string& text, std::string* normalized = nullptr);

}  // namespace vesk

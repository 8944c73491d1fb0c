#pragma once

#include "core/Hotkey.h"
#include "core/OutputMode.h"

#include <optional>
#include <string>

namespace vesk::Settings {

// The person's preferences, in QSettings (organization and application "ProjectVesk",
// an INI file under $XDG_CONFIG_HOME). Every read goes to the store afresh; nothing is
// registered as a default, so a missing key reads as each accessor says.

Hotkey hotkey();          // "hotkey": "fn", "rightOption", else Right Ctrl
bool saveHistory();       // "saveHistory": false when missing
OutputMode outputMode();  // "outputMode": current and legacy stored values, else prompt
std::string locale();     // "locale": "en-US" when missing
bool autoPaste();         // "autoPaste": false when missing
bool autoCopy();          // "autoCopy": false when missing

// Raw access for keys owned by other components ("voiceProfile", "speechEngine",
// "rewriteEndpoint", ...). A missing key reads as nothing.
std::optional<std::string> string(const std::string& key);
std::optional<bool> boolean(const std::string& key);
std::optional<std::string> bytes(const std::string& key);
void setString(const std::string& key, const std::string& value);
void setBoolean(const std::string& key, bool value);
void setBytes(const std::string& key, const std::string& value);
void remove(const std::string& key);

void setHotkey(Hotkey key);
void setSaveHistory(bool on);
void setOutputMode(OutputMode mode);
void setLocale(const std::string& identifier);

}  // namespace vesk::Settings

#pragma once

#include <filesystem>

namespace vesk {

// "Start at login": a desktop entry in the person's autostart folder
// ("$XDG_CONFIG_HOME/autostart/ProjectVesk.desktop", default ~/.config/autostart), which
// every freedesktop session starts at login. The file itself is the setting, so turning
// it off in the desktop's own tools is respected.
namespace Autostart {

std::filesystem::path entryPath();

// Whether the entry exists and is not switched off ("Hidden=true" or
// "X-GNOME-Autostart-enabled=false", as desktops write when a person turns it off there).
bool isEnabled();

// Writes the entry, starting `executable`, or removes it. Returns false when the file
// could not be written or removed (the previous state is then unchanged).
bool setEnabled(bool enabled, const std::filesystem::path& executable);

}  // namespace Autostart

}  // namespace vesk

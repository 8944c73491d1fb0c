#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Where the console finds its help pages, and which desktop session it runs in, so that a
// permission row can say what works there and how to allow what is missing.
namespace vesk::PermissionHelp {

enum class DesktopSession { x11, wayland, unknown };

// From the session's environment: XDG_SESSION_TYPE when it says "x11" or "wayland",
// otherwise a set WAYLAND_DISPLAY means Wayland and a set DISPLAY means X11. Pure.
DesktopSession detectSession(std::string_view sessionType, std::string_view waylandDisplay, std::string_view display);
DesktopSession sessionFromEnvironment();

// One line for a permission row: the session found and what works there.
std::string microphoneNote(DesktopSession session);
std::string keyboardAccessNote(DesktopSession session);

// The help pages shipped with the program.
inline constexpr const char* kMicrophonePage = "microphone.html";
inline constexpr const char* kKeyboardAccessPage = "keyboard-access.html";
inline constexpr const char* kRewritingPage = "rewriting.html";

// The installed help page of that name: "help/" beside the executable, then
// "../share/ProjectVesk/help/", then the source tree's "docs/help/"; empty when none
// exists. Needs a QCoreApplication.
std::filesystem::path helpPage(std::string_view name);

}  // namespace vesk::PermissionHelp

#include "ui/PermissionHelp.h"

#include <QCoreApplication>

#include <cstdlib>

namespace vesk::PermissionHelp {
namespace {

std::string_view environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

}  // namespace

DesktopSession detectSession(std::string_view sessionType, std::string_view waylandDisplay, std::string_view display) {
    if (sessionType == "wayland") return DesktopSession::wayland;
    if (sessionType == "x11") return DesktopSession::x11;
    if (!waylandDisplay.empty()) return DesktopSession::wayland;
    if (!display.empty()) return DesktopSession::x11;
    return DesktopSession::unknown;
}

DesktopSession sessionFromEnvironment() {
    return detectSession(environment("XDG_SESSION_TYPE"), environment("WAYLAND_DISPLAY"), environment("DISPLAY"));
}

std::string microphoneNote(DesktopSession session) {
    const std::string found = session == DesktopSession::wayland ? "Wayland session: "
                              : session == DesktopSession::x11   ? "X11 session: "
                                                                 : "No desktop session found: ";
    return found + "the default input of the sound server (PulseAudio or PipeWire) is used.";
}

std::string keyboardAccessNote(DesktopSession session) {
    switch (session) {
        case DesktopSession::x11:
            return "X11 session: the key is observed with XInput2 and pasted with XTEST; "
                   "the input group also works.";
        case DesktopSession::wayland:
            return "Wayland session: the key needs the input group and pasting needs /dev/uinput.";
        case DesktopSession::unknown: break;
    }
    return "No desktop session found: the key needs the input group and pasting needs /dev/uinput.";
}

std::filesystem::path helpPage(std::string_view name) {
    const std::filesystem::path executableDirectory = QCoreApplication::applicationDirPath().toStdString();
    const std::filesystem::path candidates[] = {
        executableDirectory / "help" / name,
        executableDirectory / ".." / "share" / "ProjectVesk" / "help" / name,
        std::filesystem::path(VESK_HELP_SOURCE_DIR) / name,
    };
    std::error_code error;
    for (const auto& candidate : candidates)
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.lexically_normal();
    return {};
}

}  // namespace vesk::PermissionHelp

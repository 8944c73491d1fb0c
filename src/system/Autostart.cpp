#include "system/Autostart.h"

#include "core/AtomicFile.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <system_error>

namespace vesk::Autostart {

namespace {

std::filesystem::path configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/") / ".config";
}

// A desktop entry's Exec value: quoted when it holds characters the format reserves.
std::string execValue(const std::filesystem::path& executable) {
    const std::string path = executable.string();
    if (path.find_first_of(" \t\"'\\$`") == std::string::npos) return path;
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::filesystem::path entryPath() { return configHome() / "autostart" / "ProjectVesk.desktop"; }

bool isEnabled() {
    const auto contents = AtomicFile::read(entryPath());
    if (!contents) return false;
    std::istringstream lines(*contents);
    for (std::string line; std::getline(lines, line);) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
    }
    return true;
}

bool setEnabled(bool enabled, const std::filesystem::path& executable) {
    const std::filesystem::path path = entryPath();
    std::error_code error;
    if (!enabled) {
        std::filesystem::remove(path, error);
        return !error;
    }
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) return false;
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Project Vesk\n"
        "Comment=Hold a key, speak, and get tidy text or a well-formed prompt pasted back\n"
        "Exec=" +
        execValue(executable) +
        "\n"
        "Icon=io.github.projectvesk.ProjectVesk\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return AtomicFile::write(path, entry);
}

}  // namespace vesk::Autostart

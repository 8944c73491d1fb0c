#include "core/AppPaths.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace vesk::AppPaths {
namespace {

std::filesystem::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path dataHome() {
    // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
    if (auto path = environmentPath("XDG_DATA_HOME"); path.is_absolute()) return path;
    if (auto home = environmentPath("HOME"); !home.empty()) return home / ".local" / "share";
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::filesystem::path supportDirectory() {
    const auto directory = dataHome() / "ProjectVesk";
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    return directory;
}

std::filesystem::path temporaryDirectory() {
    if (auto path = environmentPath("TMPDIR"); !path.empty()) return path;
    return "/tmp";
}

}  // namespace vesk::AppPaths

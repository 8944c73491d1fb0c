#pragma once

#include <filesystem>

namespace vesk::AppPaths {

// "$XDG_DATA_HOME/ProjectVesk" (default ~/.local/share/ProjectVesk). Computed on every
// call and created, with missing parents, each time; a failure to create it is ignored
// and the location is returned all the same.
std::filesystem::path supportDirectory();

// "$TMPDIR", or "/tmp" when it is unset or empty. Recordings live here.
std::filesystem::path temporaryDirectory();

}  // namespace vesk::AppPaths

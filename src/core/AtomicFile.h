#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// Whole-file reads and writes for the data files in the support directory.
namespace AtomicFile {

// The file's bytes, or nothing when it is missing or unreadable.
std::optional<std::string> read(const std::filesystem::path& path);

// Replaces the file with `contents` so that a crash or power loss leaves either the old
// or the new file, never a torn one: a temporary file in the same directory is written,
// flushed to disk, renamed over the old one, and the directory is flushed. Returns false
// on any failure (the old file is then untouched).
bool write(const std::filesystem::path& path, std::string_view contents);

// Moves a file that could not be decoded out of the way, so that the next save does not
// erase what the person had: "<name>.unreadable-<YYYYMMDD-HHMMSS>" beside it (a counter
// is added when that name is taken). Returns the new path, or nothing when the file is
// missing or could not be moved. Logs what it did.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path);

}  // namespace AtomicFile
}  // namespace vesk

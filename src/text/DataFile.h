#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace vesk {

// Reading the person's hand-edited and learned data files ("dictionary.json",
// "learned.json", "snippets.json") without trusting what stands at their path.
namespace DataFile {

// Far beyond any real data file; a larger one is not read at all.
inline constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

enum class Report {
    log,    // name a file that is there but cannot be read in the log, once per call
    quiet,  // the caller has already reported it
};

// The file's bytes, or nothing when it cannot be used: missing (silently), not a
// regular file (a FIFO, a device such as a link to /dev/zero, a directory), larger than
// kMaxBytes, or failing to open or read. Never blocks on a FIFO and never reads more
// than kMaxBytes + 1 bytes. Returns on the caller's thread once the file is read.
std::optional<std::string> read(const std::filesystem::path& path, Report report = Report::log);

}  // namespace DataFile
}  // namespace vesk

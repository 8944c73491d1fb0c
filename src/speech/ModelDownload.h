#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vesk {

// One model file to fetch: where from, where to, and what it must be.
struct ModelSource {
    std::string url;
    std::string fileName;
    std::optional<int64_t> size;  // bytes, when known in advance
    std::string sha1;             // lower-case hex
};

// How long a download waits: for the server's first answer (a connection that never
// answers, a name server that never replies), and for the next bytes once data flows.
// A download also ends when `cancelled` (asked on the downloading thread as bytes arrive
// and a few times a second) says so: the person stopped it.
struct DownloadLimits {
    std::chrono::milliseconds connect{std::chrono::seconds(15)};
    std::chrono::milliseconds stall{std::chrono::seconds(30)};
    std::function<bool()> cancelled;
};

// Who follows the model downloads of a speech engine instead of standard error: the
// bytes of the current file so far and its size when known, and whether to stop. Both
// are called on the downloading thread.
struct DownloadObserver {
    std::function<void(int64_t, std::optional<int64_t>)> progress;
    std::function<bool()> cancelled;
};

// A text progress bar for standard error, e.g. "[#####-----]  50%  1.2 / 2.4 MB".
std::string progressBar(int64_t received, std::optional<int64_t> total);

// Downloads `source` into `directory` over HTTPS (plain HTTP only to this computer) and
// installs it under its file name. An interrupted download is kept beside the target as
// "<name>.part" and resumed next time (never an empty one); the size and the SHA-1
// checksum are verified before the file is renamed into place, so a model is either
// complete and correct or absent. One download writes into a folder at a time, across
// threads and processes: a second waits, and returns at once if the first installed the
// file. `progress` gets (received, total) as the bytes come in. Needs a Qt core
// application object; blocks the calling thread (any thread). Throws vesk::Error (domain
// "ModelDownload"): code 8 when no server answered (the computer seems to be offline),
// code 5 when a transfer that had begun was interrupted, code 9 when it was cancelled
// (what arrived is kept for the next try).
void downloadModel(const ModelSource& source, const std::filesystem::path& directory,
                   const std::function<void(int64_t, std::optional<int64_t>)>& progress = {},
                   const DownloadLimits& limits = {});

inline constexpr int kDownloadOffline = 8;
inline constexpr int kDownloadCancelled = 9;

// A download that found the computer offline, remembered in the models folder so that the
// next runs do not try again at once.
struct DownloadFailure {
    std::chrono::system_clock::time_point time;
    std::string reason;
};
void rememberDownloadFailure(const std::filesystem::path& directory, const std::string& reason,
                             std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
// The remembered failure when it is less than `within` old.
std::optional<DownloadFailure> recentDownloadFailure(
    const std::filesystem::path& directory, std::chrono::seconds within = std::chrono::hours(1),
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
void forgetDownloadFailure(const std::filesystem::path& directory);

}  // namespace vesk

#include "text/DataFile.h"

#include "core/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vesk::DataFile {
namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::optional<std::string> refuse(const std::filesystem::path& path, const std::string& why, Report report) {
    if (report == Report::log) logWarning("Project Vesk did not read " + path.string() + ": " + why + ".");
    return std::nullopt;
}

std::string tooLarge() { return "it is larger than " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB"; }

}  // namespace

std::optional<std::string> read(const std::filesystem::path& path, Report report) {
    // Non-blocking, so that opening a FIFO returns at once instead of waiting for a
    // writer; for a regular file the flag changes nothing.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        return refuse(path, std::strerror(errno), report);
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return refuse(path, std::strerror(errno), report);
    if (!S_ISREG(status.st_mode)) return refuse(path, "it is not a regular file", report);
    if (status.st_size < 0 || static_cast<std::size_t>(status.st_size) > kMaxBytes)
        return refuse(path, tooLarge(), report);

    // The size can change while we read; never take more than the limit.
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            if (bytes.size() > kMaxBytes) return refuse(path, tooLarge(), report);
            bytes.resize(std::min(bytes.size() * 2, kMaxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            return refuse(path, std::strerror(errno), report);
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace vesk::DataFile

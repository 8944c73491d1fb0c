#include "speech/ModelDownload.h"

#include "core/Error.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace vesk {

namespace {

constexpr const char* kDomain = "ModelDownload";

[[noreturn]] void fail(int code, std::string description) { throw Error(kDomain, code, std::move(description)); }

bool isLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host == QLatin1String("localhost")) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::string sha1Of(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file)) return {};
    return hash.result().toHex().toStdString();
}

// Holds the models folder for one writer: an exclusive lock on the folder itself, which
// works across threads (each lock is its own open file) and processes, and leaves no file.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& directory)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    const int fd_;
};

const char* const kFailureFile = "download-failed";

std::string seconds(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

void syncPath(const std::filesystem::path& path, bool directory) {
    const int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Fetches the rest of the model into `file` (open, holding what came before); returns the
// size the whole file should have, when known.
std::optional<int64_t> receive(const ModelSource& source, const QUrl& url, QFile& file,
                               const std::function<void(int64_t, std::optional<int64_t>)>& progress,
                               const DownloadLimits& limits) {
    int64_t offset = file.size();
    if (source.size && offset > *source.size) {
        file.resize(0);  // not a prefix of this model: start over
        offset = 0;
    }
    file.seek(offset);

    QEventLoop loop;  // first: it gives a thread of our own an event dispatcher for the timer
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (offset > 0)
        request.setRawHeader("Range", QByteArray("bytes=") + QByteArray::number(static_cast<qint64>(offset)) + "-");
    const std::unique_ptr<QNetworkReply> reply(network.get(request));

    std::optional<int64_t> total = source.size;
    bool answered = false;  // the server sent its answer's head
    bool started = false;
    bool writeFailed = false;
    bool timedOut = false;
    int64_t received = offset;
    // No answer in time, or no bytes for a while, ends the transfer as an interruption.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        reply->abort();
    });
    bool cancelled = false;
    const auto checkCancel = [&] {
        if (cancelled || !limits.cancelled || !limits.cancelled()) return false;
        cancelled = true;
        reply->abort();
        return true;
    };
    QTimer cancelPoll;
    if (limits.cancelled) {
        QObject::connect(&cancelPoll, &QTimer::timeout, checkCancel);
        cancelPoll.start(200);
    }
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, [&] {
        answered = true;
        watchdog.start(limits.stall);
    });
    auto begin = [&] {
        if (started) return;
        started = true;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 200 && offset > 0) {
            // The server ignored the range: the whole file comes again.
            file.resize(0);
            file.seek(0);
            received = 0;
        }
        if (!total) {
            const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (length > 0) total = (status == 206 ? offset : 0) + length;
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, [&] {
        if (checkCancel()) return;
        answered = true;
        watchdog.start(limits.stall);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200 && status != 206) return;
        begin();
        const QByteArray chunk = reply->readAll();
        if (file.write(chunk) != chunk.size()) {
            writeFailed = true;
            reply->abort();
            return;
        }
        received += chunk.size();
        if (progress) progress(received, total);
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    watchdog.start(limits.connect);
    if (!checkCancel() && !reply->isFinished()) loop.exec();
    watchdog.stop();
    cancelPoll.stop();
    if (cancelled) fail(kDownloadCancelled, "The speech model download was cancelled; downloading again resumes it.");

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool rangeDone = status == 416 && source.size && offset == *source.size;  // nothing left to fetch
    if (writeFailed) fail(4, "The speech model could not be written to " + file.fileName().toStdString() + ".");
    if (!rangeDone && (reply->error() != QNetworkReply::NoError || (status != 200 && status != 206))) {
        std::string reason = reply->errorString().toStdString();
        if (timedOut)
            reason = answered ? "no data came for " + seconds(limits.stall)
                              : "the server did not answer within " + seconds(limits.connect);
        if (!answered)
            fail(kDownloadOffline,
                 "The computer seems to be offline: the speech model could not be downloaded (" + reason + ").");
        fail(5, "The speech model download was interrupted (" + reason + "); running again resumes it.");
    }
    return total;
}

}  // namespace

std::string progressBar(int64_t received, std::optional<int64_t> total) {
    constexpr int kWidth = 30;
    char sizes[64];
    const double mb = 1024.0 * 1024.0;
    if (!total || *total <= 0) {
        std::snprintf(sizes, sizeof sizes, "%.1f MB", static_cast<double>(received) / mb);
        return std::string("[") + std::string(kWidth, '?') + "]  " + sizes;
    }
    const double fraction = std::clamp(static_cast<double>(received) / static_cast<double>(*total), 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kWidth);
    std::snprintf(sizes, sizeof sizes, "%3d%%  %.1f / %.1f MB", static_cast<int>(fraction * 100.0),
                  static_cast<double>(received) / mb, static_cast<double>(*total) / mb);
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kWidth - filled), '-') + "]  " + sizes;
}

void rememberDownloadFailure(const std::filesystem::path& directory, const std::string& reason,
                             std::chrono::system_clock::time_point now) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    std::ofstream out(directory / kFailureFile, std::ios::trunc);
    out << std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count() << '\n' << reason << '\n';
}

std::optional<DownloadFailure> recentDownloadFailure(const std::filesystem::path& directory,
                                                     std::chrono::seconds within,
                                                     std::chrono::system_clock::time_point now) {
    std::ifstream in(directory / kFailureFile);
    long long epoch = 0;
    std::string reason;
    if (!(in >> epoch) || !std::getline(in >> std::ws, reason)) return std::nullopt;
    const std::chrono::system_clock::time_point time{std::chrono::seconds(epoch)};
    // A clock set back makes the failure lie in the future: treat it as old.
    if (time > now || now - time >= within) return std::nullopt;
    return DownloadFailure{time, reason};
}

void forgetDownloadFailure(const std::filesystem::path& directory) {
    std::error_code error;
    std::filesystem::remove(directory / kFailureFile, error);
}

void downloadModel(const ModelSource& source, const std::filesystem::path& directory,
                   const std::function<void(int64_t, std::optional<int64_t>)>& progress, const DownloadLimits& limits) {
    const QUrl url(QString::fromStdString(source.url));
    if (!url.isValid() ||
        !(url.scheme() == QLatin1String("https") || (url.scheme() == QLatin1String("http") && isLoopback(url))))
        fail(1, "The speech model address " + source.url + " is not a secure (HTTPS) address.");
    if (!QCoreApplication::instance()) fail(2, "The speech model cannot be downloaded outside the application.");

    std::error_code error;
    std::filesystem::create_directories(directory, error);
    const std::filesystem::path target = directory / source.fileName;
    const std::filesystem::path partial = directory / (source.fileName + ".part");
    const FolderLock lock(directory);
    if (!lock.held()) fail(3, "The speech model cannot be saved in " + directory.string() + ".");
    if (std::filesystem::is_regular_file(target, error)) return;  // the writer before us installed it

    QFile file(QString::fromStdString(partial.string()));
    if (!file.open(QIODevice::ReadWrite)) fail(3, "The speech model cannot be saved in " + directory.string() + ".");
    std::optional<int64_t> total;
    try {
        total = receive(source, url, file, progress, limits);
    } catch (const Error& failure) {
        file.close();
        if (std::filesystem::file_size(partial, error) == 0 && !error) std::filesystem::remove(partial, error);
        if (failure.code() == kDownloadOffline) rememberDownloadFailure(directory, failure.description());
        throw;
    }
    forgetDownloadFailure(directory);
    file.flush();
    ::fsync(file.handle());
    file.close();

    const auto size = static_cast<int64_t>(std::filesystem::file_size(partial, error));
    // A connection that closes early can look like a normal end: fewer bytes than the
    // server announced is an interruption to resume, not a damaged file.
    if (!error && total && size < *total)
        fail(5, "The speech model download was interrupted (the connection closed early); running again resumes it.");
    const bool sizeOk = !error && (!total || size == *total) && (!source.size || size == *source.size);
    if (!sizeOk || sha1Of(partial) != source.sha1) {
        std::filesystem::remove(partial, error);
        fail(6, "The downloaded speech model " + source.fileName + " failed its integrity check and was discarded.");
    }
    std::filesystem::rename(partial, target, error);
    if (error) fail(7, "The speech model could not be installed in " + directory.string() + ".");
    syncPath(directory, true);
}

}  // namespace vesk

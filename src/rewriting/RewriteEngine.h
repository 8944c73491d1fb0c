#pragma once

#include "rewriting/RewriteAvailability.h"
#include "rewriting/RewriteService.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class QNetworkReply;

namespace vesk {

// Error codes of the rewrite engine, domain kErrorDomain.
enum class RewriteError {
    refused = 10,      // the settings rule the request out (no model, server off this machine)
    unreachable = 11,  // nothing answers at the endpoint
    timedOut = 12,     // no answer within "rewriteTimeout"
    httpStatus = 13,   // the server answered with an error status
    unreadable = 14,   // the answer is not a chat completion
    connectionLost = 15,
};

// The rewriting settings as read at one moment.
struct RewriteConfiguration {
    static constexpr const char* kDefaultEndpoint = "http://127.0.0.1:11434/v1";

    std::string endpoint = kDefaultEndpoint;    // "rewriteEndpoint"
    std::string model;                          // "rewriteModel", default empty
    bool allowRemote = false;                   // "allowRemoteRewriting"
    std::chrono::milliseconds timeout{30'000};  // "rewriteTimeout", in seconds, default 30

    static RewriteConfiguration fromSettings();

    // The endpoint as a URL with no trailing slash, and a path below it.
    QUrl endpointUrl() const;
    QUrl url(const char* path) const;
};

// True when the URL names this computer: "localhost" or a loopback address.
bool isOnThisMachine(const QUrl& url);

// The reason that follows from the settings alone, before asking the server: an endpoint
// that is not an http(s) URL, an endpoint off this machine without permission, no model
// chosen. Nothing when the settings allow asking the server.
std::optional<AvailabilityReason> configurationReason(const RewriteConfiguration& configuration);
// Its note.
std::optional<std::string> configurationNote(const RewriteConfiguration& configuration);

// The settings file that holds the rewriting keys, for reasons that name a key.
std::string settingsFilePath();

// The gateway to the local language model: an OpenAI-compatible chat-completions server
// at "rewriteEndpoint" serving "rewriteModel". Settings are read afresh on every call.
// Lives on the main thread; requests run on Qt's asynchronous network stack, so nothing
// here blocks the event loop. The engine must outlive the rewrites it has started.
//
// Availability: the settings-derived notes are exact on every read. Whether the server
// lists the model is learned from GET {endpoint}/models and kept for kAvailabilityLifetime;
// a read that finds the result older starts a new check in the background and returns
// the last result meanwhile. Before the first check for the current endpoint and model
// has finished, the read returns no note: an attempted rewrite that then fails costs one
// refused loopback connection and ends in the caller's fallback, whereas a note would
// silently skip the model for the first dictation after start. The engine starts that
// first check when it is created; checkAvailability() waits for a fresh answer, joining a
// check for the same server and model that is already on its way, so that a command that
// creates the engine and checks at once asks the server one time.
//
// Behind every note is an AvailabilityReason (availabilityReason(), checkReason()); each
// new reason is written to the log once.
class RewriteEngine : public QObject, public RewriteService {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kAvailabilityLifetime{3000};
    // A model list that takes longer than this counts as a server that is not answering.
    static constexpr std::chrono::milliseconds kModelListTimeout{5000};

    explicit RewriteEngine(QObject* parent = nullptr);
    ~RewriteEngine() override;

    std::optional<std::string> availabilityNote() override;
    QCoro::Task<std::optional<std::string>> checkAvailability() override;

    // What lies behind availabilityNote(), read as cheaply and with the same rules
    // (kind `unchecked` before the first answer about the configured server).
    AvailabilityReason availabilityReason();
    // What lies behind checkAvailability(), from a check made now (or joined).
    QCoro::Task<AvailabilityReason> checkReason();

    QCoro::Task<std::string> rewrite(std::string text, std::string instructions) override;
    // With a model chosen, the answer also renews availabilityNote(), as a check would.
    QCoro::Task<std::vector<std::string>> listModels() override;

    // For the command line: runs the event loop until the rewrite ends.
    std::string rewriteAndWait(const std::string& text, const std::string& instructions);

signals:
    // A background check changed what availabilityNote() returns.
    void availabilityChanged();

private:
    struct Availability {
        AvailabilityReason reason;  // names the endpoint and model it is about
        std::chrono::steady_clock::time_point checkedAt;
    };

    QNetworkReply* requestModelList(const RewriteConfiguration& configuration);
    // Keeps what the model list answer says about the configured server and model; returns
    // the models it lists (empty when it is no list).
    std::vector<std::string> record(const RewriteConfiguration& configuration, QNetworkReply& reply);
    void refreshInBackground(const RewriteConfiguration& configuration);
    // The last answer about this server and model, if there is one.
    const Availability* knownFor(const RewriteConfiguration& configuration) const;
    // Writes a reason to the log when it differs from the last one written.
    void log(const AvailabilityReason& reason);

    QNetworkAccessManager network_;
    std::optional<Availability> availability_;
    std::optional<std::string> refreshing_;  // endpoint and model of the check in flight
    QPointer<QNetworkReply> refreshReply_;   // its request
    std::optional<AvailabilityReason> logged_;
};

}  // namespace vesk

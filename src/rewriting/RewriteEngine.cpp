#include "rewriting/RewriteEngine.h"

#include "core/BlockingWait.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "rewriting/ChatCompletion.h"

#include <QCoro/QCoroNetworkReply>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>

#include <charconv>
#include <cmath>
#include <memory>

namespace vesk {
namespace {

// Replies are owned by the engine's network manager until finished; afterwards we
// release them on the event loop, never from inside one of their own signals.
struct DeleteLater {
    void operator()(QNetworkReply* reply) const {
        if (reply) reply->deleteLater();
    }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

std::string availabilityKey(const RewriteConfiguration& configuration) {
    return configuration.endpoint + '\n' + configuration.model;
}

std::chrono::milliseconds timeoutFromSetting(const std::optional<std::string>& value) {
    constexpr std::chrono::milliseconds fallback{30'000};
    if (!value) return fallback;
    double seconds = 0;
    const char* begin = value->data();
    const char* end = begin + value->size();
    const auto [stop, error] = std::from_chars(begin, end, seconds);
    if (error != std::errc() || stop != end || !std::isfinite(seconds) || seconds <= 0) return fallback;
    // Past a day it is no longer a timeout worth keeping apart from "never".
    seconds = std::min(seconds, 86'400.0);
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::string secondsText(std::chrono::milliseconds duration) {
    const auto count = duration.count();
    if (count % 1000 == 0) {
        const long long seconds = count / 1000;
        return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f seconds", static_cast<double>(count) / 1000.0);
    return buffer;
}

QNetworkRequest jsonRequest(const QUrl& url, std::chrono::milliseconds transferTimeout = {}) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    // A loopback server must not be able to send the text elsewhere with a redirect.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (transferTimeout.count() > 0) request.setTransferTimeout(static_cast<int>(transferTimeout.count()));
    return request;
}

int httpStatus(const QNetworkReply& reply) { return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }

Error rewriteError(RewriteError code, std::string description) {
    return Error(kErrorDomain, static_cast<int>(code), std::move(description));
}

// The sentence for a rewrite request that ended without a usable HTTP answer.
Error transportError(const QNetworkReply& reply, const RewriteConfiguration& configuration) {
    switch (reply.error()) {
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::HostNotFoundError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
            return rewriteError(RewriteError::unreachable,
                                "The language model server at " + configuration.endpoint + " could not be reached.");
        case QNetworkReply::RemoteHostClosedError:
            return rewriteError(RewriteError::connectionLost,
                                "The language model server closed the connection before answering.");
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:
            return rewriteError(RewriteError::timedOut, "The on-device model did not answer within " +
                                                            secondsText(configuration.timeout) + ".");
        default:
            return rewriteError(RewriteError::unreachable, "The request to the language model server failed: " +
                                                               reply.errorString().toStdString());
    }
}

AvailabilityReason uncheckedReason(const RewriteConfiguration& configuration) {
    AvailabilityReason reason;
    reason.kind = AvailabilityReason::Kind::unchecked;
    reason.endpoint = configuration.endpoint;
    reason.model = configuration.model;
    return reason;
}

}  // namespace

RewriteConfiguration RewriteConfiguration::fromSettings() {
    RewriteConfiguration configuration;
    configuration.endpoint = Settings::string("rewriteEndpoint").value_or(kDefaultEndpoint);
    configuration.model = Settings::string("rewriteModel").value_or("");
    configuration.allowRemote = Settings::boolean("allowRemoteRewriting").value_or(false);
    configuration.timeout = timeoutFromSetting(Settings::string("rewriteTimeout"));
    return configuration;
}

QUrl RewriteConfiguration::endpointUrl() const {
    QString text = QString::fromStdString(endpoint).trimmed();
    while (text.endsWith(u'/')) text.chop(1);
    return QUrl(text, QUrl::StrictMode);
}

QUrl RewriteConfiguration::url(const char* path) const {
    QUrl result = endpointUrl();
    result.setPath(result.path() + u'/' + QString::fromLatin1(path));
    return result;
}

bool isOnThisMachine(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<AvailabilityReason> configurationReason(const RewriteConfiguration& configuration) {
    AvailabilityReason reason;
    reason.endpoint = configuration.endpoint;
    reason.model = configuration.model;
    const QUrl url = configuration.endpointUrl();
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) {
        reason.kind = AvailabilityReason::Kind::notUrl;
    } else if (scheme != u"http" && scheme != u"https") {
        reason.kind = AvailabilityReason::Kind::notHttp;
    } else if (!configuration.allowRemote && !isOnThisMachine(url)) {
        reason.kind = AvailabilityReason::Kind::offMachine;
    } else if (configuration.model.empty()) {
        reason.kind = AvailabilityReason::Kind::noModel;
        reason.settingsFile = settingsFilePath();
    } else {
        return std::nullopt;
    }
    return reason;
}

std::optional<std::string> configurationNote(const RewriteConfiguration& configuration) {
    const auto reason = configurationReason(configuration);
    return reason ? reason->note() : std::nullopt;
}

std::string settingsFilePath() {
    // The store core/Settings reads and writes.
    return QSettings(QStringLiteral("ProjectVesk"), QStringLiteral("ProjectVesk")).fileName().toStdString();
}

RewriteEngine::RewriteEngine(QObject* parent) : QObject(parent) {
    // The text goes straight to the configured server, never through a proxy.
    network_.setProxy(QNetworkProxy::NoProxy);
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (!configurationReason(configuration)) refreshInBackground(configuration);
}

RewriteEngine::~RewriteEngine() = default;

QNetworkReply* RewriteEngine::requestModelList(const RewriteConfiguration& configuration) {
    const auto limit = std::min(configuration.timeout, kModelListTimeout);
    return network_.get(jsonRequest(configuration.url("models"), limit));
}

namespace {

// The models a successful answer lists; nothing when its body is not a model list.
std::optional<std::vector<std::string>> modelList(QNetworkReply& reply) {
    const QByteArray body = reply.readAll();
    try {
        return chat::modelIdentifiers(std::string_view(body.constData(), body.size()));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

}  // namespace

std::vector<std::string> RewriteEngine::record(const RewriteConfiguration& configuration, QNetworkReply& reply) {
    std::vector<std::string> listed;
    using Kind = AvailabilityReason::Kind;
    AvailabilityReason reason;
    reason.endpoint = configuration.endpoint;
    reason.model = configuration.model;
    const int status = httpStatus(reply);
    if (status == 503) {
        // llama.cpp's server and others answer 503 while they load the model.
        reason.kind = Kind::loading;
    } else if (reply.error() == QNetworkReply::ConnectionRefusedError) {
        reason.kind = Kind::refused;
    } else if (reply.error() == QNetworkReply::TimeoutError || reply.error() == QNetworkReply::OperationCanceledError) {
        reason.kind = Kind::timedOut;
    } else if (status != 200 && status != 0) {
        reason.kind = Kind::failed;
        reason.detail = "it answered with HTTP status " + std::to_string(status);
    } else if (reply.error() != QNetworkReply::NoError || status != 200) {
        reason.kind = Kind::failed;
        reason.detail = reply.errorString().toStdString();
    } else if (auto identifiers = modelList(reply)) {
        listed = *identifiers;
        if (chat::listsModel(*identifiers, configuration.model)) {
            reason.kind = Kind::available;
        } else {
            reason.kind = Kind::modelNotListed;
            reason.listedModels = std::move(*identifiers);
        }
    } else {
        reason.kind = Kind::failed;
        reason.detail = "its answer is not a model list";
    }
    const bool changed = !availability_ || availability_->reason.note() != reason.note() ||
                         availability_->reason.endpoint != reason.endpoint ||
                         availability_->reason.model != reason.model;
    availability_ = Availability{reason, std::chrono::steady_clock::now()};
    log(reason);
    if (changed) emit availabilityChanged();
    return listed;
}

void RewriteEngine::log(const AvailabilityReason& reason) {
    if (logged_ == reason) return;
    logged_ = reason;
    // Info level: the command line turns it off, as its standard error carries only its
    // own line.
    logInfo("Project Vesk rewriting: " + reason.description());
}

void RewriteEngine::refreshInBackground(const RewriteConfiguration& configuration) {
    const std::string key = availabilityKey(configuration);
    if (refreshing_ == key) return;
    refreshing_ = key;
    QNetworkReply* reply = requestModelList(configuration);
    refreshReply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, configuration, key] {
        const ReplyPtr owned(reply);
        if (refreshing_ == key) refreshing_.reset();
        record(configuration, *reply);
    });
}

const RewriteEngine::Availability* RewriteEngine::knownFor(const RewriteConfiguration& configuration) const {
    const bool sameServer = availability_ && availability_->reason.endpoint == configuration.endpoint &&
                            availability_->reason.model == configuration.model;
    return sameServer ? &*availability_ : nullptr;
}

AvailabilityReason RewriteEngine::availabilityReason() {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (auto reason = configurationReason(configuration)) {
        log(*reason);
        return *reason;
    }
    const Availability* known = knownFor(configuration);
    const bool fresh = known && std::chrono::steady_clock::now() - known->checkedAt < kAvailabilityLifetime;
    if (!fresh) refreshInBackground(configuration);
    return known ? known->reason : uncheckedReason(configuration);
}

std::optional<std::string> RewriteEngine::availabilityNote() { return availabilityReason().note(); }

QCoro::Task<AvailabilityReason> RewriteEngine::checkReason() {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (auto reason = configurationReason(configuration)) {
        log(*reason);
        co_return *reason;
    }
    const auto asked = std::chrono::steady_clock::now();
    if (refreshing_ == availabilityKey(configuration) && refreshReply_) {
        // The check for this server and model already on its way answers as freshly as a
        // new one would; its own handler records the answer before this one resumes.
        QNetworkReply* const pending = refreshReply_.data();
        co_await pending;
    }
    const Availability* known = knownFor(configuration);
    if (!known || known->checkedAt < asked) {
        const ReplyPtr reply(requestModelList(configuration));
        co_await reply.get();
        record(configuration, *reply);
        known = knownFor(configuration);
    }
    co_return known ? known->reason : uncheckedReason(configuration);
}

QCoro::Task<std::vector<std::string>> RewriteEngine::listModels() {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    // The same rules as a rewrite for where we may connect; the model is what is chosen here.
    RewriteConfiguration anyModel = configuration;
    if (anyModel.model.empty()) anyModel.model = "any";
    if (configurationReason(anyModel)) co_return std::vector<std::string>{};
    const ReplyPtr reply(requestModelList(configuration));
    co_await reply.get();
    // With a model chosen, the same answer says whether it is there: one request for both.
    if (!configurationReason(configuration)) co_return record(configuration, *reply);
    if (reply->error() != QNetworkReply::NoError || httpStatus(*reply) != 200) co_return std::vector<std::string>{};
    co_return modelList(*reply).value_or(std::vector<std::string>{});
}

QCoro::Task<std::optional<std::string>> RewriteEngine::checkAvailability() {
    const AvailabilityReason reason = co_await checkReason();
    co_return reason.note();
}

QCoro::Task<std::string> RewriteEngine::rewrite(std::string text, std::string instructions) {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    // Checked before any connection is opened: a refused endpoint sees no traffic at all.
    if (auto note = configurationNote(configuration)) throw rewriteError(RewriteError::refused, *note);

    const std::string body = chat::requestBody(configuration.model, instructions, text);
    const ReplyPtr reply(
        network_.post(jsonRequest(configuration.url("chat/completions")), QByteArray::fromStdString(body)));

    // The whole exchange, not just a quiet spell, must end within the limit.
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QNetworkReply* const pending = reply.get();
    connect(&deadline, &QTimer::timeout, pending, [&timedOut, pending] {
        timedOut = true;
        pending->abort();
    });
    deadline.start(configuration.timeout);
    co_await pending;
    deadline.stop();

    if (timedOut) {
        throw rewriteError(RewriteError::timedOut,
                           "The on-device model did not answer within " + secondsText(configuration.timeout) + ".");
    }
    const int status = httpStatus(*reply);
    const QByteArray answer = reply->readAll();
    const std::string_view answerText(answer.constData(), static_cast<size_t>(answer.size()));
    if (status == 0) throw transportError(*reply, configuration);
    if (status != 200) {
        std::string description = "The language model server answered with HTTP status " + std::to_string(status);
        if (const auto message = chat::errorMessage(answerText); message && !message->empty())
            description += ": " + *message;
        throw rewriteError(RewriteError::httpStatus, description + ".");
    }
    if (reply->error() != QNetworkReply::NoError) throw transportError(*reply, configuration);
    try {
        co_return chat::finishAnswer(chat::answerContent(answerText));
    } catch (const std::invalid_argument&) {
        throw rewriteError(RewriteError::unreadable, "The on-device model's answer could not be read.");
    }
}

std::string RewriteEngine::rewriteAndWait(const std::string& text, const std::string& instructions) {
    return blockingWait(rewrite(text, instructions));
}

}  // namespace vesk

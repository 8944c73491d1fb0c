#include "rewriting/RewriteEngine.h"

#include "core/Error.h"
#include "core/Settings.h"
#include "core/BlockingWait.h"
#include "rewriting/ChatCompletion.h"

#include <QCoro/QCoroNetworkReply>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
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

std::optional<std::string> configurationNote(const RewriteConfiguration& configuration) {
    const QUrl url = configuration.endpointUrl();
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return rewriteNotes::kUnavailable;
    if (!configuration.allowRemote && !isOnThisMachine(url)) return rewriteNotes::kOffMachine;
    if (configuration.model.empty()) return rewriteNotes::kNoModel;
    return std::nullopt;
}

RewriteEngine::RewriteEngine(QObject* parent) : QObject(parent) {
    // The text goes straight to the configured server, never through a proxy.
    network_.setProxy(QNetworkProxy::NoProxy);
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (!configurationNote(configuration)) refreshInBackground(configuration);
}

RewriteEngine::~RewriteEngine() = default;

QNetworkReply* RewriteEngine::requestModelList(const RewriteConfiguration& configuration) {
    const auto limit = std::min(configuration.timeout, kModelListTimeout);
    return network_.get(jsonRequest(configuration.url("models"), limit));
}

void RewriteEngine::record(const RewriteConfiguration& configuration, QNetworkReply& reply) {
    std::optional<std::string> note;
    const int status = httpStatus(reply);
    if (status == 503) {
        // llama.cpp's server and others answer 503 while they load the model.
        note = rewriteNotes::kNotReady;
    } else if (reply.error() != QNetworkReply::NoError || status != 200) {
        note = rewriteNotes::kUnavailable;
    } else {
        const QByteArray body = reply.readAll();
        try {
            const auto identifiers = chat::modelIdentifiers(std::string_view(body.constData(), body.size()));
            if (!chat::listsModel(identifiers, configuration.model)) note = rewriteNotes::kNotReady;
        } catch (const std::invalid_argument&) {
            note = rewriteNotes::kUnavailable;
        }
    }
    const bool changed = !availability_ || availability_->endpoint != configuration.endpoint ||
                         availability_->model != configuration.model || availability_->note != note;
    availability_ = Availability{configuration.endpoint, configuration.model, note, std::chrono::steady_clock::now()};
    // Nothing is logged here: the command line's standard error must carry only its own
    // line. The application logs what it observes through availabilityChanged.
    if (changed) emit availabilityChanged();
}

void RewriteEngine::refreshInBackground(const RewriteConfiguration& configuration) {
    const std::string key = availabilityKey(configuration);
    if (refreshing_ == key) return;
    refreshing_ = key;
    QNetworkReply* reply = requestModelList(configuration);
    connect(reply, &QNetworkReply::finished, this, [this, reply, configuration, key] {
        const ReplyPtr owned(reply);
        if (refreshing_ == key) refreshing_.reset();
        record(configuration, *reply);
    });
}

std::optional<std::string> RewriteEngine::availabilityNote() {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (auto note = configurationNote(configuration)) return note;
    const bool sameServer = availability_ && availability_->endpoint == configuration.endpoint &&
                            availability_->model == configuration.model;
    const bool fresh =
        sameServer && std::chrono::steady_clock::now() - availability_->checkedAt < kAvailabilityLifetime;
    if (!fresh) refreshInBackground(configuration);
    return sameServer ? availability_->note : std::nullopt;
}

QCoro::Task<std::optional<std::string>> RewriteEngine::checkAvailability() {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    if (auto note = configurationNote(configuration)) co_return note;
    const ReplyPtr reply(requestModelList(configuration));
    co_await reply.get();
    record(configuration, *reply);
    co_return availability_->note;
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

#include "support/ScriptedModelServer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

namespace vesk::test {
namespace {

using nlohmann::json;

// The script and the records, shared between the test's thread and the server's.
struct Shared {
    mutable std::mutex mutex;
    std::vector<std::string> models;
    std::optional<ScriptedReply> modelListReply;
    std::deque<ScriptedReply> chatQueue;
    ScriptedReply fallback = ScriptedReply::httpError(500, "no answer was scripted for this request");
    std::vector<RecordedRequest> chats;
    size_t modelRequests = 0;
};

const char* reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

RecordedRequest recorded(std::string method, std::string path, std::string body) {
    RecordedRequest request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.body = std::move(body);
    request.json = json::parse(request.body, nullptr, false);
    if (request.json.is_discarded()) request.json = nullptr;
    if (!request.json.is_object()) return request;
    for (const auto& item : request.json.items()) request.topLevelKeys.push_back(item.key());
    if (const auto model = request.json.find("model"); model != request.json.end() && model->is_string())
        request.model = model->get<std::string>();
    const auto messages = request.json.find("messages");
    if (messages == request.json.end() || !messages->is_array() || messages->empty()) return request;
    request.messageCount = messages->size();
    const auto contentOf = [](const json& message, const char* role) -> std::string {
        if (!message.is_object() || message.value("role", "") != role) return {};
        const auto content = message.find("content");
        return content != message.end() && content->is_string() ? content->get<std::string>() : std::string();
    };
    request.systemMessage = contentOf(messages->front(), "system");
    request.userMessage = contentOf(messages->back(), "user");
    return request;
}

}  // namespace

ScriptedReply ScriptedReply::answer(const std::string& content) {
    const json body = {
        {"id", "chatcmpl-scripted"},
        {"object", "chat.completion"},
        {"created", 1700000000},
        {"model", "scripted"},
        {"choices",
         json::array(
             {{{"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}, {"finish_reason", "stop"}}})},
        {"usage", {{"prompt_tokens", 1}, {"completion_tokens", 1}, {"total_tokens", 2}}},
    };
    return raw(200, body.dump());
}

ScriptedReply ScriptedReply::raw(int status, std::string body) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

ScriptedReply ScriptedReply::httpError(int status, const std::string& message) {
    return raw(status, json{{"error", {{"message", message}, {"type", "server_error"}}}}.dump());
}

ScriptedReply ScriptedReply::dropConnection() {
    ScriptedReply reply;
    reply.kind = Kind::drop;
    return reply;
}

ScriptedReply ScriptedReply::after(std::chrono::milliseconds wait) const {
    ScriptedReply delayed = *this;
    delayed.delay = wait;
    return delayed;
}

// Lives on the server's thread: the listening socket, the connections and the HTTP framing.
class ScriptedModelServer::Worker : public QObject {
public:
    explicit Worker(Shared& shared) : shared_(shared) {
        connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    ~Worker() override { dropConnections(); }

    bool listen(std::uint16_t port) {
        if (!server_.listen(QHostAddress::LocalHost, port)) return false;
        port_ = server_.serverPort();
        return true;
    }
    std::uint16_t port() const { return port_; }

    void stop() {
        server_.close();
        dropConnections();
    }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            buffers_[socket];
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                buffers_.erase(socket);
                socket->deleteLater();
            });
        }
    }

    void dropConnections() {
        auto sockets = std::move(buffers_);
        buffers_.clear();
        for (auto& [socket, buffer] : sockets) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
    }

    void read(QTcpSocket* socket) {
        auto found = buffers_.find(socket);
        if (found == buffers_.end()) return;
        QByteArray& buffer = found->second;
        buffer += socket->readAll();
        for (;;) {
            const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0) return;
            const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
            const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
            qsizetype length = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
                    length = line.mid(colon + 1).trimmed().toLongLong();
            }
            if (buffer.size() < headerEnd + 4 + length) return;
            const QByteArray body = buffer.mid(headerEnd + 4, length);
            buffer.remove(0, headerEnd + 4 + length);
            const std::string method = requestLine.value(0).toStdString();
            const std::string path = requestLine.value(1).toStdString();
            if (!answer(socket, method, path, body.toStdString())) return;
        }
    }

    // False when the connection was dropped.
    bool answer(QTcpSocket* socket, const std::string& method, const std::string& path, std::string body) {
        ScriptedReply reply;
        {
            const std::lock_guard lock(shared_.mutex);
            if (method == "GET" && path == "/v1/models") {
                ++shared_.modelRequests;
                if (shared_.modelListReply) {
                    reply = *shared_.modelListReply;
                } else {
                    json data = json::array();
                    for (const auto& id : shared_.models) data.push_back({{"id", id}, {"object", "model"}});
                    reply = ScriptedReply::raw(200, json{{"object", "list"}, {"data", data}}.dump());
                }
            } else if (method == "POST" && path == "/v1/chat/completions") {
                shared_.chats.push_back(recorded(method, path, std::move(body)));
                if (!shared_.chatQueue.empty()) {
                    reply = shared_.chatQueue.front();
                    shared_.chatQueue.pop_front();
                } else {
                    reply = shared_.fallback;
                }
            } else {
                reply = ScriptedReply::httpError(404, "no such route");
            }
        }
        if (reply.kind == ScriptedReply::Kind::drop) {
            buffers_.erase(socket);
            socket->disconnect(this);
            socket->close();
            socket->deleteLater();
            return false;
        }
        QByteArray bytes = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& [name, value] : reply.headers)
            bytes += QByteArray::fromStdString(name + ": " + value + "\r\n");
        bytes += "Content-Type: application/json\r\nContent-Length: " +
                 QByteArray::number(static_cast<qsizetype>(reply.body.size())) + "\r\nConnection: keep-alive\r\n\r\n" +
                 QByteArray::fromStdString(reply.body);
        if (reply.delay.count() == 0) {
            socket->write(bytes);
        } else {
            QTimer::singleShot(reply.delay, socket, [socket, bytes] { socket->write(bytes); });
        }
        return true;
    }

    Shared& shared_;
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
    std::uint16_t port_ = 0;
};

class ScriptedModelServer::Thread {
public:
    Thread() {
        thread_.setObjectName(QStringLiteral("scripted model server"));
        anchor_.moveToThread(&thread_);
        thread_.start();
        bool listening = false;
        onServerThread([&] {
            worker_ = std::make_unique<Worker>(shared_);
            listening = worker_->listen(0);
        });
        if (!listening) throw std::runtime_error("the scripted model server cannot listen on 127.0.0.1");
    }
    ~Thread() {
        onServerThread([&] { worker_.reset(); });
        thread_.quit();
        thread_.wait();
    }

    template <typename Function>
    void onServerThread(Function function) {
        QMetaObject::invokeMethod(&anchor_, function, Qt::BlockingQueuedConnection);
    }

    Shared shared_;
    QObject anchor_;  // an object of the server's thread, to run code there
    QThread thread_;
    std::unique_ptr<Worker> worker_;
};

ScriptedModelServer::ScriptedModelServer() : thread_(std::make_unique<Thread>()) {}
ScriptedModelServer::~ScriptedModelServer() = default;

std::uint16_t ScriptedModelServer::port() const { return thread_->worker_->port(); }

std::string ScriptedModelServer::endpoint() const { return "http://127.0.0.1:" + std::to_string(port()) + "/v1"; }

void ScriptedModelServer::setModels(std::vector<std::string> identifiers) {
    const std::lock_guard lock(thread_->shared_.mutex);
    thread_->shared_.models = std::move(identifiers);
}

void ScriptedModelServer::setModelListReply(std::optional<ScriptedReply> reply) {
    const std::lock_guard lock(thread_->shared_.mutex);
    thread_->shared_.modelListReply = std::move(reply);
}

void ScriptedModelServer::enqueueChatReply(ScriptedReply reply) {
    const std::lock_guard lock(thread_->shared_.mutex);
    thread_->shared_.chatQueue.push_back(std::move(reply));
}

void ScriptedModelServer::setFallbackChatReply(ScriptedReply reply) {
    const std::lock_guard lock(thread_->shared_.mutex);
    thread_->shared_.fallback = std::move(reply);
}

void ScriptedModelServer::stop() {
    thread_->onServerThread([this] { thread_->worker_->stop(); });
}

void ScriptedModelServer::start() {
    bool listening = false;
    thread_->onServerThread([&] { listening = thread_->worker_->listen(thread_->worker_->port()); });
    if (!listening) throw std::runtime_error("the scripted model server cannot listen on its port again");
}

std::vector<RecordedRequest> ScriptedModelServer::chatRequests() const {
    const std::lock_guard lock(thread_->shared_.mutex);
    return thread_->shared_.chats;
}

size_t ScriptedModelServer::modelListRequests() const {
    const std::lock_guard lock(thread_->shared_.mutex);
    return thread_->shared_.modelRequests;
}

void ScriptedModelServer::clearRecords() {
    const std::lock_guard lock(thread_->shared_.mutex);
    thread_->shared_.chats.clear();
    thread_->shared_.modelRequests = 0;
}

}  // namespace vesk::test

#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <string>
#include <utility>
#include <vector>

namespace vesk::test {

// A loopback HTTP server with one model file: it honours byte ranges (or, when told, ignores
// them), can hang up or fall silent part-way through its first answer, as a flaky network
// would, can accept connections and never answer (a captive portal, a stalling firewall),
// and can hold its answers until released. It runs on the test's thread: a test whose
// download runs elsewhere keeps processing events.
class ModelFileServer {
public:
    explicit ModelFileServer(QByteArray payload) : payload_(std::move(payload)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    std::string url() const { return folder() + "model.bin"; }
    // The server answers every path with its file: a folder of models for a mirror setting.
    std::string folder() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/"; }

    int hangUpAfter = -1;  // bytes of the body sent before the first answer is cut off
    int stallAfter = -1;   // bytes of the body sent before the first answer falls silent
    bool ignoreRanges = false;
    bool neverAnswer = false;
    bool holdAnswers = false;
    std::vector<std::string> ranges;  // the Range header of each request ("" when none)

    void releaseAnswers() {
        holdAnswers = false;
        for (const auto& [socket, range] : held_)
            if (socket) answer(socket, range);
        held_.clear();
    }

private:
    void read(QTcpSocket* socket) {
        QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n")) return;
        std::string range;
        for (const QByteArray& line : request.split('\n'))
            if (line.toLower().startsWith("range:")) range = line.mid(6).trimmed().toStdString();
        socket->setProperty("request", QByteArray());
        ranges.push_back(range);
        if (neverAnswer) return;
        if (holdAnswers) {
            held_.emplace_back(socket, range);
            return;
        }
        answer(socket, range);
    }

    void answer(QTcpSocket* socket, const std::string& range) {
        qsizetype from = 0;
        if (!range.empty() && !ignoreRanges) from = std::stoll(range.substr(range.find('=') + 1));
        QByteArray body = payload_.mid(from);
        QByteArray head = from > 0 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
        if (from > 0)
            head += "Content-Range: bytes " + QByteArray::number(from) + "-" + QByteArray::number(payload_.size() - 1) +
                    "/" + QByteArray::number(payload_.size()) + "\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        const bool stall = stallAfter >= 0;
        if (hangUpAfter >= 0 || stall) {
            body = body.left(stall ? stallAfter : hangUpAfter);
            hangUpAfter = stallAfter = -1;
        }
        socket->write(head + body);
        socket->flush();
        if (!stall) socket->disconnectFromHost();
    }

    QTcpServer server_;
    QByteArray payload_;
    std::vector<std::pair<QPointer<QTcpSocket>, std::string>> held_;
};

}  // namespace vesk::test

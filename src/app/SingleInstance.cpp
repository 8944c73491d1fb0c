#include "app/SingleInstance.h"

#include "core/Log.h"

#include <QLocalSocket>

#include <unistd.h>

namespace vesk {

namespace {
constexpr char kShowRequest[] = "show\n";
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    // The runtime directory is per user and per login; without one, a name per user.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime + QStringLiteral("/ProjectVesk.socket");
    return QStringLiteral("ProjectVesk-%1").arg(::getuid());
}

bool SingleInstance::handOffToRunningInstance(int timeoutMs) {
    const auto askRunningInstance = [&] {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (!socket.waitForConnected(timeoutMs)) return false;
        socket.write(kShowRequest);
        socket.waitForBytesWritten(timeoutMs);
        socket.disconnectFromServer();
        return true;
    };
    if (askRunningInstance()) return true;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Either a start at the same moment won the name, or a crashed run left its socket
        // behind, which answers nobody and can go.
        if (askRunningInstance()) {
            server_.reset();
            return true;
        }
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) {
            logWarning("Project Vesk could not listen for later starts: " + server_->errorString().toStdString());
            return false;
        }
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return false;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* connection = server_->nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
            while (connection->canReadLine())
                if (connection->readLine() == kShowRequest) emit showRequested();
        });
    }
}

}  // namespace vesk

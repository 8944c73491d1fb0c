#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>

namespace vesk {

// One running application per user session. The first start listens on a local socket
// in the user's runtime directory; a later start finds it, asks it to show its console,
// and ends. A socket left behind by a crashed run answers nobody and is replaced.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "$XDG_RUNTIME_DIR/ProjectVesk.socket" (else "ProjectVesk-<uid>" in the temporary
    // directory) unless a test names another.
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answered and was asked to show itself: this one should
    // end. Otherwise this instance now owns the name and emits `showRequested` whenever a
    // later start asks. Blocks for at most `timeoutMs` while another instance is asked.
    bool handOffToRunningInstance(int timeoutMs = 1000);

    bool isListening() const { return server_ && server_->isListening(); }
    static QString defaultName();

signals:
    void showRequested();

private:
    void acceptConnections();

    QString name_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace vesk

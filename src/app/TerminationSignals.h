#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace vesk {

// SIGTERM and SIGINT as an ordinary event: while an instance lives, either signal is
// caught and `received` is emitted on the thread that made it, from its event loop, so the
// application ends the way a quit from its own menu does (files finished, recordings
// removed). The handlers before it come back when it is destroyed. One instance at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    void drain();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

}  // namespace vesk

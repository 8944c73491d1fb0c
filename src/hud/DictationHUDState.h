#pragma once

#include <QObject>
#include <QString>

#include <variant>

namespace vesk {

// What the HUD panel shows; the one published value its view follows.
class DictationHUDState : public QObject {
    Q_OBJECT
public:
    struct Recording {
        friend bool operator==(const Recording&, const Recording&) = default;
    };
    struct Processing {
        friend bool operator==(const Processing&, const Processing&) = default;
    };
    struct Message {
        QString text;
        friend bool operator==(const Message&, const Message&) = default;
    };
    struct Result {
        QString text;
        QString status;
        friend bool operator==(const Result&, const Result&) = default;
    };
    using Phase = std::variant<Result, Message, Recording, Processing>;

    explicit DictationHUDState(QObject* parent = nullptr);

    const Phase& phase() const { return phase_; }
    // Notifies observers only when the phase really changes, so the view never cross-fades
    // to what it already shows.
    void setPhase(Phase phase);

signals:
    void phaseChanged();

private:
    Phase phase_ = Recording{};
};

}  // namespace vesk

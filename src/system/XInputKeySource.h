#pragma once

#include "system/KeySource.h"
#include "system/SyntheticKeyLedger.h"
#include "system/X11Support.h"

#include <QObject>

#include <memory>
#include <set>

class QSocketNotifier;

namespace vesk {

// Observes raw key events of every keyboard through XInput2 on a connection of our
// own, delivered by the server regardless of which window has focus. Keys we synthesize
// ourselves through XTest are recognized with the ledger and left out.
class XInputKeySource : public QObject, public KeySource {
    Q_OBJECT
public:
    explicit XInputKeySource(std::shared_ptr<SyntheticKeyLedger> ledger = {}, QObject* parent = nullptr);
    ~XInputKeySource() override;

    bool start(Handler handler) override;
    void stop() override;
    std::string name() const override { return "X11 XInput2"; }

    // Whether an X server with XInput 2 is reachable.
    static bool available();

private:
    void drain();

    std::shared_ptr<SyntheticKeyLedger> ledger_;
    Handler handler_;
    x11::DisplayHandle display_;
    int opcode_ = 0;
    std::set<int> syntheticDevices_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vesk

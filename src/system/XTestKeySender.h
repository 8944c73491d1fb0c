#pragma once

#include "system/KeySender.h"
#include "system/SyntheticKeyLedger.h"
#include "system/X11Support.h"

#include <memory>

namespace vesk {

// Synthetic keys through the XTEST extension on a connection of our own. Key codes are
// looked up in the current keyboard layout on every send.
class XTestKeySender : public KeySender {
public:
    explicit XTestKeySender(std::shared_ptr<SyntheticKeyLedger> ledger = {});
    bool isUsable() const { return display_ != nullptr; }

    bool send(const Chord& chord) override;
    bool modifiersHeld() override;
    std::string name() const override { return "XTest"; }

    static bool available();

private:
    void refreshLayout();

    std::shared_ptr<SyntheticKeyLedger> ledger_;
    x11::DisplayHandle display_;
};

}  // namespace vesk

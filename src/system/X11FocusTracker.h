#pragma once

#include "system/FocusTracker.h"
#include "system/X11Support.h"

namespace vesk {

// The focused window through the window manager's EWMH properties on a connection of
// our own: _NET_ACTIVE_WINDOW to read it, a _NET_ACTIVE_WINDOW request (as a pager, so
// focus-stealing prevention lets it through) to bring a window back.
class X11FocusTracker : public FocusTracker {
public:
    X11FocusTracker();
    bool isUsable() const { return display_ != nullptr; }

    std::optional<FocusTarget> captureFocusedWindow() override;
    QCoro::Task<bool> activate(FocusTarget target) override;
    bool focusedWindowIsTerminal() override;

    // The focused top-level window, ours included.
    std::optional<FocusTarget> focusedWindow();

private:
    x11::DisplayHandle display_;
};

}  // namespace vesk

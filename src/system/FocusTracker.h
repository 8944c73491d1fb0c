#pragma once

#include <QCoro/QCoroTask>

#include <optional>
#include <string>

namespace vesk {

// The application window that had keyboard focus when a recording began, kept so the
// result can be pasted back into it.
struct FocusTarget {
    unsigned long window = 0;
    std::string instanceName;
    std::string className;
    long pid = 0;
};

class FocusTracker {
public:
    virtual ~FocusTracker() = default;
    // The focused window of another application; nothing when none is known or the
    // focused window is one of ours.
    virtual std::optional<FocusTarget> captureFocusedWindow() = 0;
    // Brings `target` back to the front; true once focus has really moved there.
    virtual QCoro::Task<bool> activate(FocusTarget target) = 0;
    // Whether the focused window is a terminal (which pastes with Ctrl+Shift+V).
    virtual bool focusedWindowIsTerminal() = 0;
};

}  // namespace vesk

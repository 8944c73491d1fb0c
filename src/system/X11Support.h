#pragma once

#include <memory>
#include <optional>
#include <string>

// Xlib's own types, declared without pulling its macros (None, Bool, Status, ...) into
// every file that includes this one.
using Display = struct _XDisplay;

namespace vesk::x11 {

struct DisplayCloser {
    void operator()(Display* display) const;
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// A connection of our own to the X server named by DISPLAY; empty without one. Xlib's
// default error handler ends the process, so a logging one is installed instead: a
// window that vanishes between two requests must not take the application down.
DisplayHandle openDisplay();

// Collects X errors raised by the requests made while it lives (it syncs first and
// last), so that a failed grab or a vanished window can be told apart.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Syncs and reports whether any request since construction failed.
    bool failed();

private:
    Display* display_;
    void* previous_;
};

// One window of another application, as the window manager reports it.
struct WindowInfo {
    unsigned long window = 0;
    std::string instanceName;  // WM_CLASS, first part
    std::string className;     // WM_CLASS, second part
    long pid = 0;              // _NET_WM_PID, 0 when not set
};

// The window the window manager calls active (_NET_ACTIVE_WINDOW), or, without an EWMH
// window manager, the top-level window holding the input focus.
std::optional<unsigned long> activeWindow(Display* display);
WindowInfo describeWindow(Display* display, unsigned long window);

// Terminals paste with Ctrl+Shift+V and copy with Ctrl+Shift+C; they are recognized by
// either part of WM_CLASS.
bool isTerminalClass(const std::string& instanceName, const std::string& className);

}  // namespace vesk::x11

#include "system/X11FocusTracker.h"

#include <QCoro/QCoroTimer>

#include <X11/Xlib.h>

#include <unistd.h>

#include <chrono>

namespace vesk {
namespace {

// How long a window manager gets to hand focus over, and how often we look.
constexpr auto kActivationTimeout = std::chrono::milliseconds(500);
constexpr auto kActivationPoll = std::chrono::milliseconds(10);
// _NET_ACTIVE_WINDOW source indication: a pager, acting on the person's behalf.
constexpr long kSourcePager = 2;

}  // namespace

X11FocusTracker::X11FocusTracker() : display_(x11::openDisplay()) {}

std::optional<FocusTarget> X11FocusTracker::focusedWindow() {
    if (!display_) return std::nullopt;
    const auto window = x11::activeWindow(display_.get());
    if (!window) return std::nullopt;
    const auto info = x11::describeWindow(display_.get(), *window);
    return FocusTarget{info.window, info.instanceName, info.className, info.pid};
}

std::optional<FocusTarget> X11FocusTracker::captureFocusedWindow() {
    auto target = focusedWindow();
    if (target && target->pid == static_cast<long>(::getpid())) return std::nullopt;
    return target;
}

bool X11FocusTracker::focusedWindowIsTerminal() {
    const auto target = focusedWindow();
    return target && x11::isTerminalClass(target->instanceName, target->className);
}

QCoro::Task<bool> X11FocusTracker::activate(FocusTarget target) {
    if (!display_) co_return false;
    Display* display = display_.get();
    const Window root = DefaultRootWindow(display);
    {
        x11::ErrorTrap trap(display);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.serial = 0;
        event.xclient.send_event = True;
        event.xclient.display = display;
        event.xclient.window = target.window;
        event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = kSourcePager;
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XRaiseWindow(display, target.window);
        if (trap.failed()) co_return false;  // the window is gone
    }
    const auto deadline = std::chrono::steady_clock::now() + kActivationTimeout;
    for (;;) {
        const auto active = x11::activeWindow(display_.get());
        if (active && *active == target.window) co_return true;
        if (std::chrono::steady_clock::now() >= deadline) co_return false;
        co_await QCoro::sleepFor(kActivationPoll);
        if (!display_) co_return false;
    }
}

}  // namespace vesk

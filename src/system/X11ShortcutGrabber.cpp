#include "system/X11ShortcutGrabber.h"

#include "core/Log.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <unistd.h>

namespace vesk {
namespace {

constexpr int kX11KeycodeOffset = 8;

// The modifier bit that carries `symbol` in the current modifier map, or 0.
unsigned int maskOf(Display* display, KeySym symbol) {
    const KeyCode code = XKeysymToKeycode(display, symbol);
    if (code == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return 0;
    unsigned int mask = 0;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier)
        for (int i = 0; i < map->max_keypermod; ++i)
            if (map->modifiermap[modifier * map->max_keypermod + i] == code) mask = 1u << modifier;
    XFreeModifiermap(map);
    return mask;
}

}  // namespace

X11ShortcutGrabber::X11ShortcutGrabber(QObject* parent) : QObject(parent) {}

X11ShortcutGrabber::~X11ShortcutGrabber() { stop(); }

bool X11ShortcutGrabber::start(std::set<int> keyCodes, Handler handler) {
    stop();
    display_ = x11::openDisplay();
    if (!display_) return false;
    Display* display = display_.get();
    const Window root = DefaultRootWindow(display);
    altMask_ = maskOf(display, XK_Alt_L);
    if (altMask_ == 0) altMask_ = Mod1Mask;
    const unsigned int numLock = maskOf(display, XK_Num_Lock);
    // Caps Lock and Num Lock are modifiers to X: grab every combination of them.
    const std::set<unsigned int> lockVariants = {0, LockMask, numLock, LockMask | numLock};

    for (const int code : keyCodes) {
        const int x11Code = code + kX11KeycodeOffset;
        for (const unsigned int lock : lockVariants) {
            const unsigned int modifiers = altMask_ | lock;
            x11::ErrorTrap trap(display);
            XGrabKey(display, x11Code, modifiers, root, False, GrabModeAsync, GrabModeAsync);
            if (trap.failed()) {
                logWarning("Project Vesk: another application already uses Alt+" + std::to_string(code - 1) +
                           "; the selection shortcut is not available");
                continue;
            }
            grabs_.emplace_back(x11Code, modifiers);
        }
    }
    if (grabs_.empty()) {
        display_.reset();
        return false;
    }
    keyCodes_ = std::move(keyCodes);
    handler_ = std::move(handler);
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (display_ && XEventsQueued(display_.get(), QueuedAlready) > 0) drain();
    });
    return true;
}

void X11ShortcutGrabber::stop() {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) disconnect(dispatcher, nullptr, this, nullptr);
    notifier_.reset();
    if (display_) {
        const Window root = DefaultRootWindow(display_.get());
        for (const auto& [code, modifiers] : grabs_) XUngrabKey(display_.get(), code, modifiers, root);
        XSync(display_.get(), False);
    }
    grabs_.clear();
    display_.reset();
    handler_ = nullptr;
}

bool X11ShortcutGrabber::focusIsOurs() {
    const auto window = x11::activeWindow(display_.get());
    return window && x11::describeWindow(display_.get(), *window).pid == static_cast<long>(::getpid());
}

void X11ShortcutGrabber::drain() {
    if (!display_) return;
    Display* display = display_.get();
    std::vector<int> pressed;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.type != KeyPress) continue;
        const unsigned int held = event.xkey.state & (ShiftMask | ControlMask | altMask_ | Mod4Mask);
        const int code = static_cast<int>(event.xkey.keycode) - kX11KeycodeOffset;
        if (held == altMask_ && keyCodes_.contains(code)) pressed.push_back(code);
    }
    if (pressed.empty() || focusIsOurs()) return;
    const Handler handler = handler_;
    for (const int code : pressed)
        if (handler) handler(code);
}

}  // namespace vesk

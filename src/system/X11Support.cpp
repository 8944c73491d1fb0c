#include "system/X11Support.h"

#include "core/Log.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace vesk::x11 {
namespace {

// The code of the first error seen inside an ErrorTrap (one trap at a time, main thread).
thread_local int trappedError = 0;
thread_local int trapDepth = 0;

int reportError(Display* display, XErrorEvent* event) {
    if (trapDepth > 0) {
        if (trappedError == 0) trappedError = event->error_code;
        return 0;
    }
    std::array<char, 256> text{};
    XGetErrorText(display, event->error_code, text.data(), static_cast<int>(text.size()));
    logWarning(std::string("Project Vesk: X request failed: ") + text.data());
    return 0;
}

std::optional<unsigned long> windowProperty(Display* display, Window window, const char* name) {
    const Atom property = XInternAtom(display, name, False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    ErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 1, False, AnyPropertyType, &type, &format,
                                          &count, &remaining, &data);
    std::optional<unsigned long> value;
    if (status == Success && data && count == 1 && format == 32)
        value = static_cast<unsigned long>(*reinterpret_cast<long*>(data));
    if (data) XFree(data);
    if (trap.failed()) return std::nullopt;
    return value;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

void DisplayCloser::operator()(Display* display) const { XCloseDisplay(display); }

DisplayHandle openDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XSetErrorHandler(&reportError);
    return DisplayHandle(display);
}

ErrorTrap::ErrorTrap(Display* display) : display_(display), previous_(nullptr) {
    XSync(display_, False);
    if (trapDepth++ == 0) trappedError = 0;
    previous_ = reinterpret_cast<void*>(XSetErrorHandler(&reportError));
}

ErrorTrap::~ErrorTrap() {
    XSync(display_, False);
    if (--trapDepth == 0) trappedError = 0;
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
}

bool ErrorTrap::failed() {
    XSync(display_, False);
    return trappedError != 0;
}

std::optional<unsigned long> activeWindow(Display* display) {
    const Window root = DefaultRootWindow(display);
    if (windowProperty(display, root, "_NET_SUPPORTING_WM_CHECK")) {
        const auto active = windowProperty(display, root, "_NET_ACTIVE_WINDOW");
        if (!active || *active == 0) return std::nullopt;
        return active;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None || focus == PointerRoot) return std::nullopt;
    // Walk up to the top-level window, the one carrying WM_CLASS.
    for (Window window = focus;;) {
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XClassHint hint{};
        if (XGetClassHint(display, window, &hint)) {
            XFree(hint.res_name);
            XFree(hint.res_class);
            return window;
        }
        if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count)) return std::nullopt;
        if (children) XFree(children);
        if (parent == rootReturn || parent == 0) return window;
        window = parent;
    }
}

WindowInfo describeWindow(Display* display, unsigned long window) {
    WindowInfo info;
    info.window = window;
    ErrorTrap trap(display);
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint)) {
        if (hint.res_name) info.instanceName = hint.res_name;
        if (hint.res_class) info.className = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (const auto pid = windowProperty(display, window, "_NET_WM_PID")) info.pid = static_cast<long>(*pid);
    return info;
}

bool isTerminalClass(const std::string& instanceName, const std::string& className) {
    static const std::array<std::string_view, 21> kTerminals = {"konsole",     "kitty",
                                                                "alacritty",   "urxvt",
                                                                "rxvt",        "st",
                                                                "st-256color", "foot",
                                                                "footclient",  "tilix",
                                                                "guake",       "tilda",
                                                                "yakuake",     "sakura",
                                                                "ghostty",     "contour",
                                                                "kgx",         "org.gnome.console",
                                                                "ptyxis",      "org.gnome.ptyxis",
                                                                "blackbox"};
    for (const auto& name : {lower(instanceName), lower(className)}) {
        if (name.empty()) continue;
        // xterm, gnome-terminal, xfce4-terminal, mate-terminal, lxterminal, qterminal,
        // terminator, wezterm, Eterm, cool-retro-term, terminology ...
        if (name.find("term") != std::string::npos) return true;
        if (std::find(kTerminals.begin(), kTerminals.end(), name) != kTerminals.end()) return true;
    }
    return false;
}

}  // namespace vesk::x11

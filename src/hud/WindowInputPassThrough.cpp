#include "hud/WindowInputPassThrough.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWidget>

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace vesk {

void passInputThroughFrame(QWidget& window) {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !window.isVisible()) return;
    Window current = window.winId();
    // Every ancestor below the root is window-manager decoration around our window alone.
    for (int depth = 0; depth < 4; ++depth) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count)) return;
        if (children) XFree(children);
        XShapeCombineRectangles(display, current, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        if (parent == root || parent == 0) break;
        current = parent;
    }
    XFlush(display);
}

}  // namespace vesk

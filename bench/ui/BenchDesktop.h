#pragma once

#include "support/VirtualDesktop.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace vesk::bench {

// One headless desktop (Xvfb, openbox) and QApplication on xcb for the window benchmarks,
// started on first use. The application is closed at exit before Qt's own per-thread state
// goes away.
struct BenchDesktop {
    BenchDesktop() {
        if (!desktop.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        app = std::make_unique<QApplication>(argc, argv);
    }
    test::VirtualDesktop desktop;
    int argc = 1;
    char name[16] = "vesk_bench";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

inline BenchDesktop& benchDesktop() {
    static BenchDesktop shared;
    return shared;
}

// Call after the last window is gone; registered late, it runs before the static state that
// windows created lazily is destroyed.
inline void closeDesktopAtExit() {
    static const bool registered = [] {
        std::atexit([] { benchDesktop().app.reset(); });
        return true;
    }();
    (void)registered;
}

inline void spinFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace vesk::bench

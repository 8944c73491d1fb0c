#include "ui/GuiDesktop.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <dlfcn.h>

#include <cstdlib>

// Mesa's driver keeps a few allocations for the life of the process; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

namespace vesk::test {
namespace {

struct SharedDesktop {
    SharedDesktop() {
        if (!desktop.isRunning()) return;
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // No session bus on the headless desktop: the tray speaks XEmbed, and libdbus does not
        // try to start a bus for the accessibility bridge.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        // Keep Mesa's software driver loaded to the end, so that what it still holds at exit
        // is reported under its own name (and suppressed below), not as an unknown module.
        mesaDriver = ::dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
        app = std::make_unique<QApplication>(argc, argv);
        app->setQuitOnLastWindowClosed(false);
        display = XOpenDisplay(desktop.display().c_str());
    }
    ~SharedDesktop() {
        if (display) XCloseDisplay(display);
    }
    VirtualDesktop desktop;
    int argc = 1;
    char name[16] = "tests_gui";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    Display* display = nullptr;
    void* mesaDriver = nullptr;
};

// Closes the application while Qt's own per-thread state still exists, which it no longer
// does when static objects are destroyed.
class CloseApplication : public ::testing::Environment {
public:
    explicit CloseApplication(SharedDesktop& desktop) : desktop_(desktop) {}
    void TearDown() override {
        if (desktop_.display) XCloseDisplay(desktop_.display);
        desktop_.display = nullptr;
        desktop_.app.reset();
    }

private:
    SharedDesktop& desktop_;
};

SharedDesktop& shared() {
    static SharedDesktop desktop;
    static const bool registered = [] {
        ::testing::AddGlobalTestEnvironment(new CloseApplication(desktop));  // gtest owns it
        return true;
    }();
    (void)registered;
    return desktop;
}

Display* display() { return shared().display; }

}  // namespace

void GuiTest::SetUp() {
    ASSERT_TRUE(shared().desktop.isRunning()) << "no virtual X desktop: " << shared().desktop.problem();
    ASSERT_NE(display(), nullptr);
}

QRect x11Geometry(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display(), window, &attributes)) return {};
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display(), window, DefaultRootWindow(display()), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

bool x11Viewable(unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display(), window, &attributes) && attributes.map_state == IsViewable;
}

unsigned long x11Parent(unsigned long window) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display(), window, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    return parent;
}

unsigned long x11Root() { return DefaultRootWindow(display()); }

unsigned long x11InputFocus() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display(), &focus, &revert);
    return focus;
}

unsigned long x11TrayOwner() {
    const Atom selection = XInternAtom(display(), "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(display(), selection);
}

void x11Click(const QPoint& point, int button) {
    XTestFakeMotionEvent(display(), 0, point.x(), point.y(), CurrentTime);
    XSync(display(), False);
    spinFor(std::chrono::milliseconds(30));
    XTestFakeButtonEvent(display(), button, True, CurrentTime);
    XSync(display(), False);
    spinFor(std::chrono::milliseconds(30));
    XTestFakeButtonEvent(display(), button, False, CurrentTime);
    XSync(display(), False);
}

bool showFocused(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
    return spinUntil([&] {
        // openbox may map the window before it hands over the focus: ask for it again.
        if (x11InputFocus() != window.winId()) window.activateWindow();
        return x11InputFocus() == window.winId() && window.isActiveWindow();
    });
}

QImage grabScreen(const QRect& rect) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
}

QString saveArtefact(const QImage& image, const QString& name) {
    const QString folder = QStringLiteral(VESK_BINARY_DIR) + QStringLiteral("/test-artefacts");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    image.save(path);
    return path;
}

int countPixels(const QImage& image, const std::function<bool(QColor)>& match, QRect rect) {
    if (rect.isNull()) rect = image.rect();
    rect &= image.rect();
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (match(image.pixelColor(x, y))) ++count;
    return count;
}

DesktopProcess::DesktopProcess(const QString& program, const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(program, arguments);
    process_.waitForStarted(5000);
}

DesktopProcess::~DesktopProcess() {
    process_.terminate();
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

}  // namespace vesk::test

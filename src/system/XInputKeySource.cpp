#include "system/XInputKeySource.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cstring>
#include <vector>

namespace vesk {
namespace {

// X11 key codes are the kernel's plus 8 on every evdev-based server.
constexpr int kX11KeycodeOffset = 8;

bool queryXInput2(Display* display, int& opcode) {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return false;
    int major = 2;
    int minor = 0;
    return XIQueryVersion(display, &major, &minor) == Success && major >= 2;
}

}  // namespace

XInputKeySource::XInputKeySource(std::shared_ptr<SyntheticKeyLedger> ledger, QObject* parent)
    : QObject(parent), ledger_(std::move(ledger)) {}

XInputKeySource::~XInputKeySource() { stop(); }

bool XInputKeySource::available() {
    const auto display = x11::openDisplay();
    int opcode = 0;
    return display && queryXInput2(display.get(), opcode);
}

bool XInputKeySource::start(Handler handler) {
    stop();
    display_ = x11::openDisplay();
    if (!display_ || !queryXInput2(display_.get(), opcode_)) {
        display_.reset();
        return false;
    }
    Display* display = display_.get();

    // The synthetic-input (XTEST) keyboards, whose reports may be our own keys.
    int count = 0;
    if (XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count)) {
        for (int i = 0; i < count; ++i)
            if (devices[i].use == XISlaveKeyboard && std::strstr(devices[i].name, "XTEST"))
                syntheticDevices_.insert(devices[i].deviceid);
        XIFreeDeviceInfo(devices);
    }

    // Raw events from the master keyboards: one report per physical event, whatever
    // window has focus and whatever grabs are active.
    std::vector<unsigned char> mask(XIMaskLen(XI_LASTEVENT), 0);
    XISetMask(mask.data(), XI_RawKeyPress);
    XISetMask(mask.data(), XI_RawKeyRelease);
    XIEventMask eventMask{XIAllMasterDevices, static_cast<int>(mask.size()), mask.data()};
    XISelectEvents(display, DefaultRootWindow(display), &eventMask, 1);
    XSync(display, False);

    handler_ = std::move(handler);
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    // Xlib may already hold events it read while syncing; the socket will not say so.
    connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (display_ && XEventsQueued(display_.get(), QueuedAlready) > 0) drain();
    });
    drain();
    return true;
}

void XInputKeySource::stop() {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) disconnect(dispatcher, nullptr, this, nullptr);
    notifier_.reset();
    display_.reset();
    syntheticDevices_.clear();
    handler_ = nullptr;
}

void XInputKeySource::drain() {
    if (!display_) return;
    Display* display = display_.get();
    std::vector<KeyEvent> events;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != opcode_ || !XGetEventData(display, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            const KeyEvent key{raw->detail - kX11KeycodeOffset, cookie->evtype == XI_RawKeyPress};
            const bool ours =
                ledger_ && syntheticDevices_.contains(raw->sourceid) && ledger_->consume(key.code, key.pressed);
            if (!ours) events.push_back(key);
        }
        XFreeEventData(display, cookie);
    }
    // Handed on after reading: a handler may stop this source.
    const Handler handler = handler_;
    for (const auto& key : events)
        if (handler) handler(key);
}

}  // namespace vesk

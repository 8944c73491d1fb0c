#include "system/EvdevKeySource.h"

#include "core/Log.h"

#include <QSocketNotifier>

#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vesk {
namespace {

struct EvdevDeleter {
    void operator()(libevdev* device) const { libevdev_free(device); }
};
using EvdevHandle = std::unique_ptr<libevdev, EvdevDeleter>;

bool isEventNode(const std::filesystem::path& path) { return path.filename().string().starts_with("event"); }

// A keyboard is a device that reports letter keys or one of the dictation keys.
bool isKeyboard(const libevdev* device) {
    if (!libevdev_has_event_type(device, EV_KEY)) return false;
    for (const int code : {KEY_A, KEY_RIGHTCTRL, KEY_RIGHTALT, KEY_FN})
        if (libevdev_has_event_code(device, EV_KEY, code)) return true;
    return false;
}

bool isOurVirtualKeyboard(const libevdev* device) {
    const char* name = libevdev_get_name(device);
    return name && std::strcmp(name, kVirtualKeyboardName) == 0;
}

// Opens a node as a keyboard we should watch, or returns nothing (and no open fd).
EvdevHandle openKeyboard(const std::filesystem::path& path, int& fd) {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    libevdev* raw = nullptr;
    if (libevdev_new_from_fd(fd, &raw) < 0) {
        ::close(fd);
        fd = -1;
        return nullptr;
    }
    EvdevHandle device(raw);
    if (!isKeyboard(raw) || isOurVirtualKeyboard(raw)) {
        device.reset();
        ::close(fd);
        fd = -1;
    }
    return device;
}

}  // namespace

struct EvdevKeySource::Device {
    std::filesystem::path path;
    int fd = -1;
    EvdevHandle evdev;
    std::unique_ptr<QSocketNotifier> notifier;
    EvdevKeyDecoder decoder;

    ~Device() {
        notifier.reset();
        evdev.reset();
        if (fd >= 0) ::close(fd);
    }
};

EvdevKeySource::EvdevKeySource(std::filesystem::path directory, QObject* parent)
    : QObject(parent), directory_(std::move(directory)) {}

EvdevKeySource::~EvdevKeySource() { stop(); }

int EvdevKeySource::readableKeyboardCount(const std::filesystem::path& directory) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (!isEventNode(entry.path())) continue;
        int fd = -1;
        if (openKeyboard(entry.path(), fd)) {
            ++count;
            ::close(fd);
        }
    }
    return count;
}

bool EvdevKeySource::start(Handler handler) {
    stop();
    handler_ = std::move(handler);
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ >= 0) {
        // IN_ATTRIB: udev creates the node first and grants access a moment later.
        if (::inotify_add_watch(inotifyFd_, directory_.c_str(), IN_CREATE | IN_ATTRIB | IN_DELETE) >= 0) {
            inotifyNotifier_ = std::make_unique<QSocketNotifier>(inotifyFd_, QSocketNotifier::Read);
            connect(inotifyNotifier_.get(), &QSocketNotifier::activated, this, [this] { readInotify(); });
        }
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory_, error))
        if (isEventNode(entry.path())) openDevice(entry.path());
    if (devices_.empty()) {
        stop();
        return false;
    }
    logInfo("Project Vesk: watching " + std::to_string(devices_.size()) + " keyboard(s) through evdev");
    return true;
}

void EvdevKeySource::stop() {
    devices_.clear();
    inotifyNotifier_.reset();
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
    inotifyFd_ = -1;
    handler_ = nullptr;
}

void EvdevKeySource::openDevice(const std::filesystem::path& path) {
    for (const auto& device : devices_)
        if (device->path == path) return;
    auto device = std::make_unique<Device>();
    device->path = path;
    device->evdev = openKeyboard(path, device->fd);
    if (!device->evdev) return;
    device->notifier = std::make_unique<QSocketNotifier>(device->fd, QSocketNotifier::Read);
    Device* raw = device.get();
    connect(device->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { readDevice(*raw); });
    devices_.push_back(std::move(device));
}

void EvdevKeySource::closeDevice(const std::filesystem::path& path) {
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if ((*it)->path != path) continue;
        const auto released = (*it)->decoder.deviceRemoved();
        devices_.erase(it);
        deliver(released);
        return;
    }
}

void EvdevKeySource::readDevice(Device& device) {
    // Events are handed on only after reading stops: a handler may stop the source,
    // which closes this device.
    std::vector<KeyEvent> pending;
    const auto append = [&pending](const std::vector<KeyEvent>& events) {
        pending.insert(pending.end(), events.begin(), events.end());
    };
    input_event raw{};
    for (;;) {
        const int status = libevdev_next_event(device.evdev.get(), LIBEVDEV_READ_FLAG_NORMAL, &raw);
        if (status == LIBEVDEV_READ_STATUS_SUCCESS) {
            append(device.decoder.feed({raw.type, raw.code, raw.value}));
        } else if (status == LIBEVDEV_READ_STATUS_SYNC) {
            // The kernel dropped events. Let libevdev catch its state up, then ask it
            // which keys are really down and report the difference.
            append(device.decoder.feed({raw.type, raw.code, raw.value}));
            while (libevdev_next_event(device.evdev.get(), LIBEVDEV_READ_FLAG_SYNC, &raw) ==
                   LIBEVDEV_READ_STATUS_SYNC) {
            }
            std::set<int> pressed;
            for (int code = 0; code <= KEY_MAX; ++code)
                if (libevdev_get_event_value(device.evdev.get(), EV_KEY, code) == 1) pressed.insert(code);
            append(device.decoder.resynchronize(pressed));
        } else if (status == -EAGAIN) {
            break;
        } else {
            // ENODEV and friends: the keyboard is gone, and with it every key it held.
            append(device.decoder.deviceRemoved());
            const auto path = device.path;
            std::erase_if(devices_, [&path](const auto& each) { return each->path == path; });
            break;
        }
    }
    deliver(pending);
}

void EvdevKeySource::readInotify() {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t length = ::read(inotifyFd_, buffer.data(), buffer.size());
        if (length <= 0) return;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            const std::filesystem::path path = directory_ / event->name;
            if (!isEventNode(path)) continue;
            if (event->mask & IN_DELETE)
                closeDevice(path);
            else
                openDevice(path);
        }
    }
}

void EvdevKeySource::deliver(const std::vector<KeyEvent>& events) {
    for (const auto& event : events)
        if (handler_) handler_(event);
}

}  // namespace vesk

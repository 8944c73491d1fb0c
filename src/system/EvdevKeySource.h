#pragma once

#include "system/EvdevKeyDecoder.h"
#include "system/KeySource.h"

#include <QObject>

#include <filesystem>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace vesk {

// The name of the virtual keyboard we create for synthetic keys, so that every
// observer of ours can leave it out.
inline constexpr const char* kVirtualKeyboardName = "Project Vesk virtual keyboard";

// Observes every readable keyboard under /dev/input (the person must be in the `input`
// group). Works on X11 and Wayland alike. Keyboards that appear later are picked up
// through inotify; one that goes away releases the keys it held.
class EvdevKeySource : public QObject, public KeySource {
    Q_OBJECT
public:
    explicit EvdevKeySource(std::filesystem::path directory = "/dev/input", QObject* parent = nullptr);
    ~EvdevKeySource() override;

    bool start(Handler handler) override;
    void stop() override;
    std::string name() const override { return "evdev"; }

    std::size_t deviceCount() const { return devices_.size(); }

    // How many keyboards under `directory` this process can read now.
    static int readableKeyboardCount(const std::filesystem::path& directory = "/dev/input");

private:
    struct Device;
    void openDevice(const std::filesystem::path& path);
    void closeDevice(const std::filesystem::path& path);
    void readDevice(Device& device);
    void readInotify();
    void deliver(const std::vector<KeyEvent>& events);

    std::filesystem::path directory_;
    Handler handler_;
    std::vector<std::unique_ptr<Device>> devices_;
    int inotifyFd_ = -1;
    std::unique_ptr<QSocketNotifier> inotifyNotifier_;
};

}  // namespace vesk

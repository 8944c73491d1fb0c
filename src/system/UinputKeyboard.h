#pragma once

#include "system/KeyLayout.h"
#include "system/KeySender.h"

#include <filesystem>

namespace vesk {

// Synthetic keys through a virtual keyboard of our own (/dev/uinput), for desktops
// without X11. Created once and kept: compositors take a moment to adopt a new device.
// The compositor applies the person's layout to the keys we press, so each letter is sent
// as the key that types it under `layout` (Ctrl+V stays Ctrl+V under Dvorak).
class UinputKeyboard : public KeySender {
public:
    explicit UinputKeyboard(std::filesystem::path node = "/dev/uinput",
                            std::filesystem::path inputDirectory = "/dev/input", KeyLayout layout = sessionLayout());
    // The session's layout (sessionLayoutNames), or QWERTY when it cannot be compiled.
    static KeyLayout sessionLayout();
    ~UinputKeyboard() override;
    UinputKeyboard(const UinputKeyboard&) = delete;
    UinputKeyboard& operator=(const UinputKeyboard&) = delete;

    bool isUsable() const { return fd_ >= 0; }
    bool send(const Chord& chord) override;
    // Read from the keyboards under /dev/input that we can read.
    bool modifiersHeld() override;
    std::string name() const override { return "uinput"; }

    static bool available(const std::filesystem::path& node = "/dev/uinput");

private:
    bool writeEvent(int type, int code, int value);

    int fd_ = -1;
    std::filesystem::path inputDirectory_;
    KeyLayout layout_;
};

}  // namespace vesk

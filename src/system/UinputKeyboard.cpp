#include "system/UinputKeyboard.h"

#include "system/EvdevKeySource.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace vesk {
namespace {

// Under some layouts a letter sits on a punctuation or extra key: offer every key of an
// ordinary keyboard.
constexpr int kLastKey = KEY_MICMUTE;
constexpr std::array<int, 8> kModifierKeys = {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT,
                                              KEY_LEFTALT,  KEY_RIGHTALT,  KEY_LEFTMETA,  KEY_RIGHTMETA};

}  // namespace

KeyLayout UinputKeyboard::sessionLayout() {
    return KeyLayout::compile(sessionLayoutNames()).value_or(KeyLayout::qwerty());
}

UinputKeyboard::UinputKeyboard(std::filesystem::path node, std::filesystem::path inputDirectory, KeyLayout layout)
    : inputDirectory_(std::move(inputDirectory)), layout_(std::move(layout)) {
    fd_ = ::open(node.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    bool ok = ::ioctl(fd_, UI_SET_EVBIT, EV_KEY) == 0;
    for (int key = KEY_ESC; key <= kLastKey; ++key) ok = ok && ::ioctl(fd_, UI_SET_KEYBIT, key) == 0;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1209;
    setup.id.product = 0x7665;
    std::strncpy(setup.name, kVirtualKeyboardName, UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ::ioctl(fd_, UI_DEV_SETUP, &setup) == 0 && ::ioctl(fd_, UI_DEV_CREATE) == 0;
    if (!ok) {
        ::close(fd_);
        fd_ = -1;
    }
}

UinputKeyboard::~UinputKeyboard() {
    if (fd_ < 0) return;
    ::ioctl(fd_, UI_DEV_DESTROY);
    ::close(fd_);
}

bool UinputKeyboard::available(const std::filesystem::path& node) { return ::access(node.c_str(), W_OK) == 0; }

bool UinputKeyboard::writeEvent(int type, int code, int value) {
    input_event event{};
    event.type = static_cast<unsigned short>(type);
    event.code = static_cast<unsigned short>(code);
    event.value = value;
    return ::write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool UinputKeyboard::send(const Chord& chord) {
    const std::optional<int> letterKey = layout_.keyFor(chord.letter);
    if (fd_ < 0 || !letterKey) return false;
    std::array<int, 3> modifiers{};
    std::size_t count = 0;
    if (chord.control) modifiers[count++] = KEY_LEFTCTRL;
    if (chord.shift) modifiers[count++] = KEY_LEFTSHIFT;
    if (chord.alt) modifiers[count++] = KEY_LEFTALT;
    const int key = *letterKey;
    bool ok = true;
    for (std::size_t i = 0; i < count; ++i)
        ok &= writeEvent(EV_KEY, modifiers[i], 1) && writeEvent(EV_SYN, SYN_REPORT, 0);
    ok &= writeEvent(EV_KEY, key, 1) && writeEvent(EV_SYN, SYN_REPORT, 0);
    ok &= writeEvent(EV_KEY, key, 0) && writeEvent(EV_SYN, SYN_REPORT, 0);
    for (std::size_t i = count; i-- > 0;)
        ok &= writeEvent(EV_KEY, modifiers[i], 0) && writeEvent(EV_SYN, SYN_REPORT, 0);
    return ok;
}

bool UinputKeyboard::modifiersHeld() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(inputDirectory_, error)) {
        if (!entry.path().filename().string().starts_with("event")) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        std::array<unsigned char, KEY_MAX / 8 + 1> keys{};
        const bool read = ::ioctl(fd, EVIOCGKEY(keys.size()), keys.data()) >= 0;
        ::close(fd);
        if (!read) continue;
        for (const int key : kModifierKeys)
            if (keys[key / 8] & (1 << (key % 8))) return true;
    }
    return false;
}

}  // namespace vesk

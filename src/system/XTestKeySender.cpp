#include "system/XTestKeySender.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <linux/input-event-codes.h>

#include <array>
#include <vector>

namespace vesk {
namespace {

constexpr int kX11KeycodeOffset = 8;

// The physical key of each Latin letter on a QWERTY keyboard, for layouts that lack
// the letter altogether.
constexpr std::array<int, 26> kLetterKeys = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                             KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                             KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};

bool hasXTest(Display* display) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(display, &event, &error, &major, &minor);
}

KeyCode keycodeFor(Display* display, KeySym symbol, int fallbackKernelCode) {
    const KeyCode code = XKeysymToKeycode(display, symbol);
    return code != 0 ? code : static_cast<KeyCode>(fallbackKernelCode + kX11KeycodeOffset);
}

}  // namespace

XTestKeySender::XTestKeySender(std::shared_ptr<SyntheticKeyLedger> ledger) : ledger_(std::move(ledger)) {
    display_ = x11::openDisplay();
    if (display_ && !hasXTest(display_.get())) display_.reset();
}

bool XTestKeySender::available() {
    const auto display = x11::openDisplay();
    return display && hasXTest(display.get());
}

void XTestKeySender::refreshLayout() {
    // The server announces layout changes with MappingNotify; Xlib's key-code cache is
    // only refreshed when we hand it those events.
    Display* display = display_.get();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }
}

bool XTestKeySender::send(const Chord& chord) {
    if (!display_ || chord.letter < 'a' || chord.letter > 'z') return false;
    Display* display = display_.get();
    refreshLayout();
    std::vector<KeyCode> modifiers;
    if (chord.control) modifiers.push_back(keycodeFor(display, XK_Control_L, KEY_LEFTCTRL));
    if (chord.shift) modifiers.push_back(keycodeFor(display, XK_Shift_L, KEY_LEFTSHIFT));
    if (chord.alt) modifiers.push_back(keycodeFor(display, XK_Alt_L, KEY_LEFTALT));
    const KeyCode key = keycodeFor(display, XK_a + (chord.letter - 'a'), kLetterKeys[chord.letter - 'a']);

    if (ledger_) {
        for (const KeyCode code : modifiers) ledger_->expect(code - kX11KeycodeOffset);
        ledger_->expect(key - kX11KeycodeOffset);
    }
    bool sent = true;
    for (const KeyCode code : modifiers) sent &= XTestFakeKeyEvent(display, code, True, CurrentTime) != 0;
    sent &= XTestFakeKeyEvent(display, key, True, CurrentTime) != 0;
    sent &= XTestFakeKeyEvent(display, key, False, CurrentTime) != 0;
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        sent &= XTestFakeKeyEvent(display, *it, False, CurrentTime) != 0;
    XFlush(display);
    return sent;
}

bool XTestKeySender::modifiersHeld() {
    if (!display_) return false;
    Display* display = display_.get();
    std::array<char, 32> keys{};
    XQueryKeymap(display, keys.data());
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return false;
    bool held = false;
    for (int i = 0; i < 8 * map->max_keypermod && !held; ++i) {
        const KeyCode code = map->modifiermap[i];
        if (code != 0 && (keys[code / 8] & (1 << (code % 8)))) held = true;
    }
    XFreeModifiermap(map);
    return held;
}

}  // namespace vesk

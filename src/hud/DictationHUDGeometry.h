#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace vesk {

// A rectangle in the window system's global coordinates as the HUD geometry works with them:
// origin at the bottom left of the primary screen, y growing upward (maxY is the top edge).
struct HUDRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double midX() const { return x + width * 0.5; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midY() const { return y + height * 0.5; }
    friend bool operator==(const HUDRect&, const HUDRect&) = default;
};

// One screen as the geometry sees it.
struct HUDScreen {
    HUDRect frame;                    // the whole screen
    HUDRect visibleFrame;             // minus menu bar (top panel) and dock
    double safeAreaTop = 0;           // above zero only on screens with a camera notch
    std::optional<HUDRect> leftArea;  // unobscured menu-bar area left of the notch
    std::optional<HUDRect> rightArea;
    std::string localizedName;
};

enum class DictationHUDLayout {
    compact,   // 168 x 36, while recording
    expanded,  // 360 x 78, processing, messages and results
};

namespace DictationHUDGeometry {

struct Size {
    double width = 0;
    double height = 0;
};

Size nominalSize(DictationHUDLayout layout);

// The screen the HUD belongs on: the first with a notch, else the first whose name contains
// "built-in" (ignoring case), else the main screen, else the first; nothing without screens.
std::optional<std::size_t> chooseScreen(std::span<const HUDScreen> screens, std::optional<std::size_t> mainScreen);

// The HUD's frame on `screen`: hanging from the notch when the screen has one (with both
// menu-bar areas known), otherwise centred 7 points below the menu bar.
HUDRect frame(DictationHUDLayout layout, const HUDScreen& screen);

// The frame on the chosen screen; the nominal size at the origin when there is no screen.
HUDRect targetFrame(DictationHUDLayout layout, std::span<const HUDScreen> screens,
                    std::optional<std::size_t> mainScreen);

// Conversions between the bottom-left, y-up convention above and Qt's global screen
// coordinates (top-left of the primary screen, y down). `primaryScreenHeight` is the height
// of the screen at Qt's origin. Each is the inverse of the other.
HUDRect toTopLeft(const HUDRect& rect, double primaryScreenHeight);
HUDRect fromTopLeft(const HUDRect& rect, double primaryScreenHeight);

// The built-in check of the notch-aware geometry; prints one PASS/FAIL line.
bool runSelfTest();

}  // namespace DictationHUDGeometry
}  // namespace vesk

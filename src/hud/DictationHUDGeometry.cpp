#include "hud/DictationHUDGeometry.h"

#include "text/Unicode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesk::DictationHUDGeometry {

Size nominalSize(DictationHUDLayout layout) {
    switch (layout) {
        case DictationHUDLayout::compact: return {168, 36};
        case DictationHUDLayout::expanded: return {360, 78};
    }
    return {168, 36};
}

std::optional<std::size_t> chooseScreen(std::span<const HUDScreen> screens, std::optional<std::size_t> mainScreen) {
    for (std::size_t i = 0; i < screens.size(); ++i)
        if (screens[i].safeAreaTop > 0) return i;
    for (std::size_t i = 0; i < screens.size(); ++i)
        if (unicode::foldCase(screens[i].localizedName).find("built-in") != std::string::npos) return i;
    if (mainScreen && *mainScreen < screens.size()) return mainScreen;
    if (!screens.empty()) return 0;
    return std::nullopt;
}

HUDRect frame(DictationHUDLayout layout, const HUDScreen& screen) {
    const Size size = nominalSize(layout);
    if (screen.safeAreaTop > 0 && screen.leftArea && screen.rightArea) {
        double width = 0;
        if (layout == DictationHUDLayout::compact) {
            const double gap = screen.rightArea->minX() - screen.leftArea->maxX();
            width = std::max(std::min(gap - 18, 190.0), 146.0);
        } else {
            width = std::min(screen.frame.width - 40, 360.0);
        }
        // The top edge lies 8 points above the bottom of the notch band, so the panel reads as
        // hanging from the notch; both layouts share it.
        return {(screen.leftArea->maxX() + screen.rightArea->minX() - width) * 0.5,
                screen.frame.maxY() - screen.safeAreaTop - size.height + 8, width, size.height};
    }
    return {screen.frame.midX() - size.width * 0.5, screen.visibleFrame.maxY() - size.height - 7, size.width,
            size.height};
}

HUDRect targetFrame(DictationHUDLayout layout, std::span<const HUDScreen> screens,
                    std::optional<std::size_t> mainScreen) {
    const auto chosen = chooseScreen(screens, mainScreen);
    if (!chosen) {
        const Size size = nominalSize(layout);
        return {0, 0, size.width, size.height};
    }
    return frame(layout, screens[*chosen]);
}

HUDRect toTopLeft(const HUDRect& rect, double primaryScreenHeight) {
    return {rect.x, primaryScreenHeight - rect.maxY(), rect.width, rect.height};
}

HUDRect fromTopLeft(const HUDRect& rect, double primaryScreenHeight) {
    return {rect.x, primaryScreenHeight - rect.maxY(), rect.width, rect.height};
}

namespace {

bool near(double a, double b) { return std::fabs(a - b) < 1e-9; }

}  // namespace

bool runSelfTest() {
    HUDScreen notched;
    notched.frame = {3008, 470, 1728, 1117};
    notched.visibleFrame = {3008, 470, 1728, 1085};
    notched.safeAreaTop = 32;
    notched.leftArea = HUDRect{3008, 1555, 771.5, 32};
    notched.rightArea = HUDRect{3964.5, 1555, 771.5, 32};
    notched.localizedName = "Built-in Retina Display";
    const HUDScreen notchedScreens[] = {notched};

    const HUDRect compact = targetFrame(DictationHUDLayout::compact, notchedScreens, 0);
    const HUDRect expanded = targetFrame(DictationHUDLayout::expanded, notchedScreens, 0);
    const bool notchOk = near(compact.width, 167) && near(compact.height, 36) && near(compact.x, 3788.5) &&
                         near(compact.maxY(), 1563) && near(compact.midX(), 3872) && near(expanded.width, 360) &&
                         near(expanded.height, 78) && near(expanded.maxY(), 1563);

    HUDScreen plain;
    plain.frame = {0, 0, 3008, 1692};
    plain.visibleFrame = {0, 0, 3008, 1662};
    plain.localizedName = "External Display";
    const HUDScreen plainScreens[] = {plain};
    const HUDRect plainCompact = targetFrame(DictationHUDLayout::compact, plainScreens, 0);
    const bool plainOk = near(plainCompact.width, 168) && near(plainCompact.x, 1420) && near(plainCompact.maxY(), 1655);

    const bool passed = notchOk && plainOk;
    std::printf("%s: notch-aware HUD geometry\n", passed ? "PASS" : "FAIL");
    std::fflush(stdout);
    return passed;
}

}  // namespace vesk::DictationHUDGeometry

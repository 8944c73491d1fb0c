#include "hud/DictationHUDGeometry.h"
#include "hud/DictationHUDState.h"

#include <gtest/gtest.h>

#include <vector>

namespace vesk {
namespace {

using Layout = DictationHUDLayout;
namespace Geometry = DictationHUDGeometry;

// A notched screen 'width' points wide at the origin, with the notch centred and
// 'gap' points wide.
HUDScreen notchedScreen(double width, double gap, double height = 1117) {
    HUDScreen screen;
    screen.frame = {0, 0, width, height};
    screen.visibleFrame = {0, 0, width, height - 32};
    screen.safeAreaTop = 32;
    const double side = (width - gap) / 2;
    screen.leftArea = HUDRect{0, height - 32, side, 32};
    screen.rightArea = HUDRect{side + gap, height - 32, side, 32};
    screen.localizedName = "Built-in Retina Display";
    return screen;
}

HUDScreen plainScreen(std::string name, double x = 0, double width = 1920) {
    HUDScreen screen;
    screen.frame = {x, 0, width, 1080};
    screen.visibleFrame = {x, 0, width, 1052};
    screen.localizedName = std::move(name);
    return screen;
}

TEST(DictationHUDGeometry, ReferenceNotchedAndPlainScreens) {
    HUDScreen screen;
    screen.frame = {3008, 470, 1728, 1117};
    screen.visibleFrame = {3008, 470, 1728, 1085};
    screen.safeAreaTop = 32;
    screen.leftArea = HUDRect{3008, 1555, 771.5, 32};
    screen.rightArea = HUDRect{3964.5, 1555, 771.5, 32};

    // Both forms hang from the top of the notch (y 1563), centred on it (x 3872).
    EXPECT_EQ(Geometry::frame(Layout::compact, screen), (HUDRect{3788.5, 1527, 167, 36}));
    EXPECT_EQ(Geometry::frame(Layout::expanded, screen), (HUDRect{3692, 1485, 360, 78}));

    HUDScreen plain;
    plain.frame = {0, 0, 3008, 1692};
    plain.visibleFrame = {0, 0, 3008, 1662};
    EXPECT_EQ(Geometry::frame(Layout::compact, plain), (HUDRect{1420, 1619, 168, 36}));
    EXPECT_EQ(Geometry::frame(Layout::expanded, plain), (HUDRect{1324, 1577, 360, 78}));
}

TEST(DictationHUDGeometry, CompactWidthFollowsTheNotchGapWithinFloorAndCeiling) {
    for (const auto& [gap, width] : {std::pair{150.0, 146.0}, {260.0, 190.0}, {200.0, 182.0}}) {
        const HUDRect compact = Geometry::frame(Layout::compact, notchedScreen(1728, gap));
        EXPECT_EQ(compact.width, width) << gap;
        EXPECT_EQ(compact.midX(), 864) << "centred in the gap of " << gap;
    }
}

TEST(DictationHUDGeometry, ExpandedWidthShrinksOnlyOnNarrowNotchedScreens) {
    EXPECT_EQ(Geometry::frame(Layout::expanded, notchedScreen(300, 180)).width, 260);
    EXPECT_EQ(Geometry::frame(Layout::expanded, plainScreen("Narrow", 0, 300)).width, 360);
    EXPECT_EQ(Geometry::frame(Layout::expanded, plainScreen("Narrow", 0, 300)).x, -30);
}

TEST(DictationHUDGeometry, ANotchWithoutBothMenuBarAreasUsesThePlainForm) {
    HUDScreen screen = notchedScreen(1728, 185);
    screen.rightArea.reset();
    const HUDRect compact = Geometry::frame(Layout::compact, screen);
    EXPECT_EQ(compact.width, 168);
    EXPECT_EQ(compact.maxY(), screen.visibleFrame.maxY() - 7);
}

TEST(DictationHUDGeometry, ScreenChoicePrefersNotchThenBuiltInThenMainThenFirst) {
    const std::vector<HUDScreen> withNotch{plainScreen("Built-in Display"), notchedScreen(1728, 185)};
    EXPECT_EQ(Geometry::chooseScreen(withNotch, 0), 1u);

    const std::vector<HUDScreen> builtIn{plainScreen("DELL U2720Q"), plainScreen("BUILT-IN Retina Display", 1920)};
    EXPECT_EQ(Geometry::chooseScreen(builtIn, 0), 1u);
    EXPECT_EQ(Geometry::targetFrame(Layout::compact, builtIn, 0).midX(), 1920 + 960);

    const std::vector<HUDScreen> externals{plainScreen("Left"), plainScreen("Right", 1920)};
    EXPECT_EQ(Geometry::chooseScreen(externals, 1), 1u);
    EXPECT_EQ(Geometry::chooseScreen(externals, std::nullopt), 0u);
    EXPECT_EQ(Geometry::chooseScreen(externals, 7), 0u) << "a main screen that is not listed is ignored";

    EXPECT_EQ(Geometry::chooseScreen({}, std::nullopt), std::nullopt);
    EXPECT_EQ(Geometry::targetFrame(Layout::compact, {}, std::nullopt), (HUDRect{0, 0, 168, 36}));
    EXPECT_EQ(Geometry::targetFrame(Layout::expanded, {}, std::nullopt), (HUDRect{0, 0, 360, 78}));
}

TEST(DictationHUDGeometry, ConvertsToAndFromQtTopLeftCoordinates) {
    // Primary screen 1080 high; a second screen above it reaches into negative Qt y.
    const HUDRect hud{880, 1009, 168, 36};
    EXPECT_EQ(Geometry::toTopLeft(hud, 1080), (HUDRect{880, 35, 168, 36}));
    EXPECT_EQ(Geometry::fromTopLeft(HUDRect{880, 35, 168, 36}, 1080), hud);
    const HUDRect above{0, 1080, 1920, 1200};
    EXPECT_EQ(Geometry::toTopLeft(above, 1080), (HUDRect{0, -1200, 1920, 1200}));
    EXPECT_EQ(Geometry::fromTopLeft(Geometry::toTopLeft(above, 1080), 1080), above);
}

TEST(DictationHUDState, StartsRecordingAndNotifiesOnlyOnChange) {
    DictationHUDState state;
    EXPECT_EQ(state.phase(), DictationHUDState::Phase{DictationHUDState::Recording{}});
    int changes = 0;
    QObject::connect(&state, &DictationHUDState::phaseChanged, [&changes] { ++changes; });
    state.setPhase(DictationHUDState::Recording{});
    EXPECT_EQ(changes, 0);
    state.setPhase(DictationHUDState::Result{"Hello.", "copied"});
    state.setPhase(DictationHUDState::Result{"Hello.", "copied"});
    EXPECT_EQ(changes, 1);
    state.setPhase(DictationHUDState::Result{"Hello.", "pasted"});
    state.setPhase(DictationHUDState::Message{"Hello."});
    state.setPhase(DictationHUDState::Processing{});
    EXPECT_EQ(changes, 4);
    EXPECT_TRUE(std::holds_alternative<DictationHUDState::Processing>(state.phase()));
}

}  // namespace
}  // namespace vesk

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

// On a notch both forms hang from its top (24 points below the screen's top here) centred on
// it, the compact one as wide as the gap within 146 to 190 points, the expanded one narrower
// only where the screen is; elsewhere they sit 7 points below the visible frame's top.
TEST(DictationHUDGeometry, FramesOnNotchedAndPlainScreens) {
    HUDScreen reference;
    reference.frame = {3008, 470, 1728, 1117};
    reference.visibleFrame = {3008, 470, 1728, 1085};
    reference.safeAreaTop = 32;
    reference.leftArea = HUDRect{3008, 1555, 771.5, 32};
    reference.rightArea = HUDRect{3964.5, 1555, 771.5, 32};
    HUDScreen plain;
    plain.frame = {0, 0, 3008, 1692};
    plain.visibleFrame = {0, 0, 3008, 1662};
    HUDScreen oneArea = notchedScreen(1728, 185);
    oneArea.rightArea.reset();
    struct Row {
        const char* name;
        HUDScreen screen;
        Layout layout;
        HUDRect expected;
    };
    const Row rows[] = {
        {"reference notch, compact", reference, Layout::compact, {3788.5, 1527, 167, 36}},
        {"reference notch, expanded", reference, Layout::expanded, {3692, 1485, 360, 78}},
        {"plain, compact", plain, Layout::compact, {1420, 1619, 168, 36}},
        {"plain, expanded", plain, Layout::expanded, {1324, 1577, 360, 78}},
        {"narrow gap: the floor", notchedScreen(1728, 150), Layout::compact, {791, 1057, 146, 36}},
        {"wide gap: the ceiling", notchedScreen(1728, 260), Layout::compact, {769, 1057, 190, 36}},
        {"gap between", notchedScreen(1728, 200), Layout::compact, {773, 1057, 182, 36}},
        {"narrow notched screen", notchedScreen(300, 180), Layout::expanded, {20, 1015, 260, 78}},
        {"narrow plain screen", plainScreen("Narrow", 0, 300), Layout::expanded, {-30, 967, 360, 78}},
        {"notch without both menu-bar areas", oneArea, Layout::compact, {780, 1042, 168, 36}},
    };
    for (const Row& row : rows) EXPECT_EQ(Geometry::frame(row.layout, row.screen), row.expected) << row.name;
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

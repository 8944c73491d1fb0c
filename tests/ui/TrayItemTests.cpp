#include "ui/ConsoleModelDouble.h"
#include "ui/GuiDesktop.h"
#include "ui/MenuBarQuickPanel.h"
#include "ui/TrayItem.h"
#include "visualization/MenuBarWaveformRenderer.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::ConsoleModelDouble;

const QColor kOrange = QColor::fromRgbF(1.0f, 0.43f, 0.1f);
const QColor kPurple = QColor::fromRgbF(0.616f, 0.525f, 1.0f);

QImage speechIcon() {
    std::vector<float> samples(384);
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = 0.3f * std::sin(0.05f * static_cast<float>(k));
    return MenuBarWaveformRenderer::image(samples);
}

// The window Qt gives the icon for the XEmbed tray; null before the icon exists.
QWidget* trayWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (QByteArray(widget->metaObject()->className()) == "QSystemTrayIconSys") return widget;
    return nullptr;
}

// Docked: the host has taken the icon's window into its own and shows it.
bool docked() {
    QWidget* window = trayWindow();
    return window && test::x11Parent(window->winId()) != test::x11Root() && test::x11Viewable(window->winId());
}

std::unique_ptr<test::DesktopProcess> startTrayHost() {
    auto host = std::make_unique<test::DesktopProcess>(
        QStringLiteral("trayer"), QStringList{"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                                              "24", "--transparent", "false", "--tint", "0x202020"});
    EXPECT_TRUE(host->isRunning()) << "trayer did not start";
    EXPECT_TRUE(test::spinUntil([] { return test::x11TrayOwner() != 0; })) << "trayer never took the tray";
    return host;
}

int tinted(const QImage& image, const QColor& tint) {
    return test::countPixels(image, [&](QColor c) {
        return std::abs(c.red() - tint.red()) < 40 && std::abs(c.green() - tint.green()) < 40 &&
               std::abs(c.blue() - tint.blue()) < 40;
    });
}

class TrayTest : public test::GuiTest {
protected:
    ConsoleModelDouble model;
    std::unique_ptr<TrayItem> tray;
};

TEST_F(TrayTest, IconShowsOnceAHostStarts) {
    ASSERT_EQ(test::x11TrayOwner(), 0u);
    tray = std::make_unique<TrayItem>(model);
    tray->setIcon(speechIcon(), kOrange, trayTooltip(UIState::recording));
    test::spinFor(300ms);
    EXPECT_FALSE(docked());

    const auto host = startTrayHost();
    EXPECT_TRUE(test::spinUntil(docked, 5s)) << "the icon never reached the tray that started later";
}

TEST_F(TrayTest, IconTakesTheTintAndSkipsIdenticalImages) {
    const auto host = startTrayHost();
    tray = std::make_unique<TrayItem>(model);
    EXPECT_TRUE(tray->setIcon(speechIcon(), kOrange, trayTooltip(UIState::recording)));
    ASSERT_TRUE(test::spinUntil(docked, 5s));
    test::spinFor(200ms);
    QRect icon = test::x11Geometry(trayWindow()->winId());
    const QImage orange = test::grabScreen(icon);
    test::saveArtefact(orange, "tray-recording");
    EXPECT_GT(tinted(orange, kOrange), 5);
    EXPECT_EQ(tray->trayIcon().toolTip(), "Project Vesk · recording");

    // The same picture again sends nothing.
    EXPECT_FALSE(tray->setIcon(speechIcon(), kOrange, trayTooltip(UIState::recording)));
    EXPECT_EQ(tray->iconUpdates(), 1);

    EXPECT_TRUE(tray->setIcon(speechIcon(), kPurple, trayTooltip(UIState::processing)));
    EXPECT_EQ(tray->iconUpdates(), 2);
    EXPECT_EQ(tray->trayIcon().toolTip(), "Project Vesk · processing");
    QImage purple;
    EXPECT_TRUE(test::spinUntil([&] {
        purple = test::grabScreen(icon);
        return tinted(purple, kPurple) > 5 && tinted(purple, kOrange) == 0;
    })) << "the tray kept the old tint";
}

TEST_F(TrayTest, AClickOpensTheQuickPanelBesideTheIcon) {
    const auto host = startTrayHost();
    tray = std::make_unique<TrayItem>(model);
    int shown = 0;
    int closed = 0;
    QObject::connect(tray.get(), &TrayItem::quickPanelShown, [&] { ++shown; });
    QObject::connect(tray.get(), &TrayItem::quickPanelClosed, [&] { ++closed; });
    tray->setIcon(speechIcon(), QColor(Qt::white), trayTooltip(UIState::idle));
    ASSERT_TRUE(test::spinUntil(docked, 5s));
    test::spinFor(200ms);
    const QRect icon = test::x11Geometry(trayWindow()->winId());

    test::x11Click(icon.center());
    ASSERT_TRUE(test::spinUntil([&] { return tray->quickPanel() && tray->quickPanel()->isVisible(); }))
        << "no quick panel after a click on the icon";
    const QRect panel = tray->quickPanel()->geometry();
    // Just below the icon (the tray sits along the top edge), over its column.
    EXPECT_GE(panel.top(), icon.bottom());
    EXPECT_LE(panel.top() - icon.bottom(), 12);
    EXPECT_TRUE(panel.left() <= icon.center().x() && icon.center().x() <= panel.right() + 1);
    test::saveArtefact(test::grabScreen(panel), "quick-panel-from-tray");

    // A second click on the icon closes it again.
    test::x11Click(icon.center());
    EXPECT_TRUE(test::spinUntil([&] { return !tray->quickPanel()->isVisible(); }));
    // The controller hears of both, once each (it runs the level meter only while shown).
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace vesk

#include "ui/GuiDesktop.h"
#include "ui/Icons.h"

#include <QPixmap>

#include <gtest/gtest.h>

#include <set>

namespace vesk {
namespace {

using IconsTest = test::GuiTest;

TEST_F(IconsTest, EverySymbolHasAnIconAndUnknownOnesHaveNone) {
    std::set<std::string_view> seen;
    for (const SymbolIcon& entry : symbolTable()) {
        SCOPED_TRACE(std::string(entry.symbol));
        EXPECT_TRUE(seen.insert(entry.symbol).second) << "listed twice";
        EXPECT_FALSE(entry.themeName.empty());
        EXPECT_FALSE(symbolIcon(entry.symbol).isNull());
        // The drawn stand-in really draws something, in the colour asked for.
        const QImage glyph = drawnSymbolIcon(entry.symbol, QColor(0, 200, 0)).pixmap(QSize(24, 24)).toImage();
        EXPECT_GT(test::countPixels(glyph, [](QColor c) { return c.alpha() > 100 && c.green() > 150 && c.red() < 60; }),
                  6);
    }
    EXPECT_TRUE(symbolIcon("no.such.symbol").isNull());
    EXPECT_TRUE(drawnSymbolIcon("no.such.symbol", Qt::white).isNull());
}

}  // namespace
}  // namespace vesk

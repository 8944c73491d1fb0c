#pragma once

#include <QColor>
#include <QIcon>

#include <span>
#include <string_view>

class QPainter;
class QRectF;

namespace vesk {

// The symbols the windows show, by the product's symbol names ("power", "doc.on.doc"), mapped
// to freedesktop icon-theme names. When the theme lacks one, a drawn glyph stands in, so
// every known symbol always has an icon.
struct SymbolIcon {
    std::string_view symbol;
    std::string_view themeName;
    // Draws the glyph in the painter's pen colour inside a square box.
    void (*draw)(QPainter& painter, const QRectF& box);
};

// Every known symbol, once each.
std::span<const SymbolIcon> symbolTable();

// The theme's icon for `symbol`, else the drawn glyph in `colour`; a null icon for a symbol
// that is not in the table. Needs a QGuiApplication. Main thread only.
QIcon symbolIcon(std::string_view symbol, const QColor& colour = Qt::white);
// The drawn glyph alone (what `symbolIcon` falls back to), in `colour`.
QIcon drawnSymbolIcon(std::string_view symbol, const QColor& colour);

}  // namespace vesk

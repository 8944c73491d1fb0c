#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

namespace vesk {

// The console's symbols ("waveform", "gearshape.fill", ...) as icons: the desktop's
// icon theme where it has a matching freedesktop icon, else a glyph drawn here in
// `color`. Main thread (it paints pixmaps). Private to the console until the shared
// symbol table lands.
QIcon consoleIcon(std::string_view symbol, const QColor& color);

// The freedesktop icon name for a symbol; empty when there is none.
std::string_view freedesktopIconName(std::string_view symbol);

}  // namespace vesk

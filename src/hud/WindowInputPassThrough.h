#pragma once

class QWidget;

namespace vesk {

// Lets pointer input pass through `window` and through the frame a reparenting window
// manager put around it. Qt empties the input region of the window itself, but the frame
// window keeps catching clicks; this empties the frame's region too. Call it after every
// show and resize, as the window manager may rebuild its frame. Does nothing off X11.
// Main thread only.
void passInputThroughFrame(QWidget& window);

}  // namespace vesk

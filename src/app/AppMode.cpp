#include "app/Console.h"
#include "app/Modes.h"

namespace vesk::modes {

// The desktop application (tray, HUD, console window) is not part of this build yet.
int runApp(int, char**) {
    console::printError(
        "Project Vesk: the desktop application is not built into this version yet; "
        "use one of the command-line modes (see --help).");
    return 1;
}

}  // namespace vesk::modes

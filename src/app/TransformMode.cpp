#include "app/Console.h"
#include "app/Modes.h"

namespace vesk::modes {

// The rewrite engine is not part of this build yet; say so instead of pretending.
int runTransform(const std::string&) {
    console::printError("Failed: the rewrite engine is not built into this version of Project Vesk.");
    return 1;
}

}  // namespace vesk::modes

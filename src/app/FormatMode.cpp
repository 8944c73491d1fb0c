#include "app/Console.h"
#include "app/Modes.h"
#include "text/TextPipeline.h"

namespace vesk::modes {

int runFormat(const std::string& text) {
    console::printLine(TextPipeline::clean(text));
    return 0;
}

}  // namespace vesk::modes

#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/Modes.h"

#include <string>
#include <vector>

namespace {

int runMode(const vesk::CommandLine& command, int argc, char** argv) {
    using vesk::CommandLine;
    switch (command.mode) {
        case CommandLine::Mode::usage: vesk::console::printLine(vesk::usageText()); return 0;
        case CommandLine::Mode::app: return vesk::modes::runApp(argc, argv);
        case CommandLine::Mode::transcribe: return vesk::modes::runTranscribe(command.value, command.locale);
        case CommandLine::Mode::streamTranscribe:
            return vesk::modes::runStreamTranscribe(command.value, command.locale);
        case CommandLine::Mode::format: return vesk::modes::runFormat(command.value);
        case CommandLine::Mode::transform: return vesk::modes::runTransform(command.value);
        case CommandLine::Mode::selfTest: return vesk::modes::runSelfTest();
        case CommandLine::Mode::doctor: return vesk::modes::runDoctor(command.locale);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto command = vesk::CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    // Output that could not be written turns any mode's success into a failure.
    return vesk::console::finish(runMode(command, argc, argv));
}

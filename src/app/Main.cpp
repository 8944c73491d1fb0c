#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/Modes.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using vesk::CommandLine;
    const CommandLine command = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
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

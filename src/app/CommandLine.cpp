#include "app/CommandLine.h"

namespace vesk {

std::string_view usageText() {
    return "Project Vesk \u2014 local voice-to-prompt coach for ChatGPT\n"
           "\n"
           "Usage:\n"
           "  ProjectVesk                      run as menu bar app\n"
           "  ProjectVesk --transcribe <file>  transcribe an audio file\n"
           "                                  [--locale en-US]\n"
           "  ProjectVesk --stream-transcribe <file>\n"
           "                                  exercise the live transcription path\n"
           "  ProjectVesk --format \"<text>\"    run the text formatter on a string\n"
           "  ProjectVesk --selftest           run local self-tests";
}

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine result;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasNext = i + 1 < arguments.size();
        Mode valueMode = Mode::usage;
        if (argument == "--transcribe")
            valueMode = Mode::transcribe;
        else if (argument == "--stream-transcribe")
            valueMode = Mode::streamTranscribe;
        else if (argument == "--format")
            valueMode = Mode::format;
        else if (argument == "--transform")
            valueMode = Mode::transform;

        if (valueMode != Mode::usage) {
            if (!hasNext) return CommandLine{Mode::usage, {}, result.locale};
            result.mode = valueMode;
            result.value = arguments[++i];
        } else if (argument == "--selftest") {
            result.mode = Mode::selfTest;
            result.value.clear();
        } else if (argument == "--doctor") {  // unlisted, like --transform
            result.mode = Mode::doctor;
            result.value.clear();
        } else if (argument == "--locale") {
            if (!hasNext) return result;
            result.locale = arguments[++i];
        } else {
            return CommandLine{Mode::usage, {}, result.locale};
        }
    }
    return result;
}

}  // namespace vesk

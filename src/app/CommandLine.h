#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// What the process arguments ask for. Parsing never fails: anything it does not
// understand asks for the usage text.
struct CommandLine {
    enum class Mode { app, transcribe, streamTranscribe, format, transform, selfTest, doctor, usage };

    Mode mode = Mode::app;
    std::string value;             // the file path or text of the four modes that take one
    std::string locale = "en-US";  // used by transcribe, streamTranscribe and doctor

    // Arguments without the program name. The last mode flag wins; a mode flag without
    // a value, "--help", "-h" or any unknown argument ask for the usage text at once; a
    // trailing "--locale" without a value ends parsing with the mode chosen so far.
    static CommandLine parse(const std::vector<std::string>& arguments);
};

// The usage text, without a final line feed (the print adds one).
std::string_view usageText();

}  // namespace vesk

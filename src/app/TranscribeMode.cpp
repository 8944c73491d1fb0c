#include "app/Console.h"
#include "app/Modes.h"

namespace vesk::modes {

// The on-device recognizer is not part of this build yet; say so instead of pretending.
int runTranscribe(const std::string&, const std::string&) {
    console::printError("Transcription failed: the speech recognizer is not built into this version of Project Vesk.");
    return 1;
}

int runStreamTranscribe(const std::string&, const std::string&) {
    console::printError(
        "Streaming transcription failed: the speech recognizer is not built into this version of Project Vesk.");
    return 1;
}

}  // namespace vesk::modes

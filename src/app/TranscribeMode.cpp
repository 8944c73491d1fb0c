#include "app/Console.h"
#include "app/Modes.h"
#include "speech/Transcriber.h"
#include "text/LearnedStore.h"
#include "text/TextPipeline.h"

#include <QCoreApplication>

#include <memory>

namespace vesk::modes {

namespace {

// Downloads of speech models use Qt's network stack, which wants an application object;
// the command-line modes otherwise run without one.
std::unique_ptr<QCoreApplication> ensureCoreApplication() {
    if (QCoreApplication::instance()) return nullptr;
    static int argc = 1;
    static char name[] = "ProjectVesk";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::string reviewLine(const ConfidenceIssue& issue) {
    std::string line = "REVIEW: " + issue.heard + " \u2192 ";
    if (issue.alternatives.empty()) return line + "manual check";
    for (size_t i = 0; i < issue.alternatives.size(); ++i) line += (i ? " / " : "") + issue.alternatives[i];
    return line;
}

}  // namespace

int runTranscribe(const std::string& path, const std::string& locale) {
    const auto application = ensureCoreApplication();
    try {
        Transcriber transcriber(locale);
        const DetailedTranscription result = transcriber.transcribeDetailed(path, LearnedStore::biasTerms());
        console::printLine("RAW: " + result.text);
        console::printLine("FORMATTED: " + TextPipeline::clean(result.text));
        for (const auto& issue : result.confidenceIssues) console::printLine(reviewLine(issue));
        return 0;
    } catch (const std::exception& error) {
        console::printError(std::string("Transcription failed: ") + error.what());
        return 1;
    }
}

int runStreamTranscribe(const std::string& path, const std::string& locale) {
    const auto application = ensureCoreApplication();
    try {
        Transcriber transcriber(locale);
        const std::string text = transcriber.transcribeStreaming(
            path, LearnedStore::biasTerms(), [](const std::string& finalized, const std::string& provisional) {
                std::string line = "LIVE: ";
                line += finalized;
                if (!finalized.empty() && !provisional.empty()) line += ' ';
                line += provisional;
                console::printError(line);
            });
        console::printLine("STREAMED: " + text);
        return text.empty() ? 1 : 0;
    } catch (const std::exception& error) {
        console::printError(std::string("Streaming transcription failed: ") + error.what());
        return 1;
    }
}

}  // namespace vesk::modes

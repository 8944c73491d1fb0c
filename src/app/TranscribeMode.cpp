#include "app/Console.h"
#include "app/Modes.h"
#include "speech/Transcriber.h"
#include "text/LearnedStore.h"
#include "text/TextPipeline.h"

#include <QCoreApplication>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

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

// Progress of a long recording, on one line of standard error while it is a terminal:
// scripts reading the output see only the specified lines.
class ProgressLine {
public:
    static constexpr double kLongRecording = 30.0;  // seconds

    ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressLine() {
        if (shown_) write("\r\033[K");
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    Transcriber::ProgressHandler handler() {
        if (!enabled_) return {};
        return [this](double done, double total) {
            if (total <= kLongRecording) return;
            const int percent = static_cast<int>(100.0 * std::min(done, total) / total);
            if (percent == percent_) return;
            percent_ = percent;
            shown_ = true;
            char line[96];
            std::snprintf(line, sizeof line, "\rTranscribing\u2026 %3d%%  %d:%02d of %d:%02d", percent,
                          static_cast<int>(done) / 60, static_cast<int>(done) % 60, static_cast<int>(total) / 60,
                          static_cast<int>(total) % 60);
            write(line);
        };
    }

private:
    static void write(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }

    const bool enabled_;
    bool shown_ = false;
    int percent_ = -1;
};

}  // namespace

int runTranscribe(const std::string& path, const std::string& locale) {
    const auto application = ensureCoreApplication();
    try {
        Transcriber transcriber(locale);
        DetailedTranscription result;
        {
            ProgressLine progress;
            result = transcriber.transcribeDetailed(path, LearnedStore::biasTerms(), progress.handler());
        }
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

#include "app/Console.h"
#include "app/Modes.h"
#include "core/BlockingWait.h"
#include "rewriting/RewriteEngine.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <exception>
#include <optional>

namespace vesk::modes {
namespace {

constexpr const char* kPolishInstruction =
    "Polish the user's text: fix grammar, spelling and punctuation, and improve clarity and flow. "
    "Keep the meaning, tone, formatting and language unchanged.";

// An empty answer, or one that was only an unfinished reasoning block.
constexpr const char* kNoText = "The on-device model returned no text.";

}  // namespace

int runTransform(const std::string& text) {
    // Qt's network stack needs an application object and its event loop; no display.
    std::optional<QCoreApplication> application;
    int argc = 1;
    char name[] = "ProjectVesk";
    char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) application.emplace(argc, argv);

    // Standard error carries only this mode's own line: the engine's log of what it found
    // about the server (info level) stays quiet here.
    QLoggingCategory::setFilterRules(QStringLiteral("projectvesk.info=false"));

    RewriteEngine engine;
    // A one-shot command can afford to ask the server now rather than trust a cached answer.
    if (const auto note = blockingWait(engine.checkAvailability())) {
        console::printError("Unavailable: " + *note);
        return 1;
    }
    try {
        const std::string polished = engine.rewriteAndWait(text, kPolishInstruction);
        // Nothing to print is no success: a script would paste nothing.
        if (polished.empty()) {
            console::printError(std::string("Failed: ") + kNoText);
            return 1;
        }
        console::printLine(polished);
        return 0;
    } catch (const std::exception& error) {
        console::printError(std::string("Failed: ") + error.what());
        return 1;
    }
}

}  // namespace vesk::modes

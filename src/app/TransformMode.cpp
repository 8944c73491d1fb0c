#include "app/Console.h"
#include "app/Modes.h"
#include "core/BlockingWait.h"
#include "rewriting/RewriteEngine.h"

#include <QCoreApplication>

#include <exception>
#include <optional>

namespace vesk::modes {
namespace {

constexpr const char* kPolishInstruction =
    "Polish the user's text: fix grammar, spelling and punctuation, and improve clarity and flow. "
    "Keep the meaning, tone, formatting and language unchanged.";

}  // namespace

int runTransform(const std::string& text) {
    // Qt's network stack needs an application object and its event loop; no display.
    std::optional<QCoreApplication> application;
    int argc = 1;
    char name[] = "ProjectVesk";
    char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) application.emplace(argc, argv);

    RewriteEngine engine;
    // A one-shot command can afford to ask the server now rather than trust a cached answer.
    if (const auto note = blockingWait(engine.checkAvailability())) {
        console::printError("Unavailable: " + *note);
        return 1;
    }
    try {
        console::printLine(engine.rewriteAndWait(text, kPolishInstruction));
        return 0;
    } catch (const std::exception& error) {
        console::printError(std::string("Failed: ") + error.what());
        return 1;
    }
}

}  // namespace vesk::modes

#pragma once

#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"
#include "support/EventLoop.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace vesk::test {

// The engine talks through Qt's event-driven network stack, which needs an application
// object on the test's thread. One per process, made on first use.
inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "tests_rewriting";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QCoreApplication> application =
        QCoreApplication::instance() ? nullptr : std::make_unique<QCoreApplication>(argc, argv);
}

// Makes the application object when constructed; the first member of a fixture whose
// other members need it.
struct CoreApplicationInstance {
    CoreApplicationInstance() { ensureCoreApplication(); }
};

// Forgets every rewriting setting, so each test states the ones it relies on.
inline void clearRewritingSettings() {
    for (const char* key : {"rewriteEndpoint", "rewriteModel", "allowRemoteRewriting", "rewriteTimeout"})
        Settings::remove(key);
}

// Collects what the product writes to its log while it lives (on the test's thread).
class LogCapture {
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::handle)) { lines().clear(); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // How many lines say exactly `message`.
    int count(const std::string& message) const {
        return static_cast<int>(std::count(lines().begin(), lines().end(), message));
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        lines().push_back(message.toStdString());
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> captured;
        return captured;
    }
    QtMessageHandler previous_;
};

// What every instruction sent to the model ends with.
inline const std::string kOutputRule =
    "\nOutput ONLY the resulting text \xE2\x80\x94 no preamble, no quotes, no explanations.";

// An engine made after its settings point at a scripted server listing "llama3.2".
class ServedEngineTest : public ::testing::Test {
protected:
    bool configure() {
        clearRewritingSettings();
        Settings::setString("rewriteEndpoint", server.endpoint());
        Settings::setString("rewriteModel", "llama3.2");
        server.setModels({"llama3.2:latest"});
        return true;
    }

    CoreApplicationInstance application;
    ScratchHome home;
    ScriptedModelServer server;
    const bool configured = configure();
    RewriteEngine engine;
};

}  // namespace vesk::test

#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::ScriptedReply;

// The notes people read, spelled out so that a changed text fails here.
const std::optional<std::string> kAvailable;
const std::optional<std::string> kNoModel = "Choose a local language model in Settings to power on-device rewriting.";
const std::optional<std::string> kOffMachine =
    "The configured rewriting server is not on this computer, so on-device rewriting is off.";
const std::optional<std::string> kNotReady =
    "The on-device model is still downloading \xE2\x80\x94 try again in a bit.";
const std::optional<std::string> kUnavailable = "The on-device model is unavailable.";

class AvailabilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::clearRewritingSettings();
        Settings::setString("rewriteEndpoint", server.endpoint());
        Settings::setString("rewriteModel", "llama3.2");
        server.setModels({"llama3.2:latest", "qwen2.5:7b"});
    }

    std::optional<std::string> checked(RewriteEngine& engine) { return blockingWait(engine.checkAvailability()); }

    test::CoreApplicationInstance application;
    test::ScratchHome home;
    test::ScriptedModelServer server;
};

TEST_F(AvailabilityTest, ANoteFromTheSettingsNeverAsksTheServer) {
    Settings::setString("rewriteModel", "");
    RewriteEngine engine;
    EXPECT_EQ(engine.availabilityNote(), kNoModel);
    EXPECT_EQ(checked(engine), kNoModel);
    test::spinFor(200ms);
    EXPECT_EQ(server.modelListRequests(), 0u);
}

TEST_F(AvailabilityTest, TheFirstReadReturnsNoNoteUntilTheFirstCheckHasAnswered) {
    server.stop();
    RewriteEngine engine;
    // Nothing is known yet about this server: no note, and a check is on its way.
    EXPECT_EQ(engine.availabilityNote(), kAvailable);
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kUnavailable; }, 3s));
}

TEST_F(AvailabilityTest, ReadsAreAnsweredFromTheCacheAndNeverWaitForTheServer) {
    RewriteEngine engine;
    ASSERT_EQ(checked(engine), kAvailable);
    test::spinFor(100ms);  // the check the engine started on creation
    const size_t cached = server.modelListRequests();
    for (int i = 0; i < 200; ++i) EXPECT_EQ(engine.availabilityNote(), kAvailable);
    test::spinFor(100ms);
    EXPECT_EQ(server.modelListRequests(), cached);

    // The server now takes far longer to list its models than the cache lives.
    server.setModels({});
    server.setModelListReply(ScriptedReply::raw(200, R"({"data":[]})").after(2500ms));
    test::spinFor(RewriteEngine::kAvailabilityLifetime + 100ms);
    const size_t before = server.modelListRequests();
    // A stale read returns the last answer at once and only starts a check.
    EXPECT_EQ(engine.availabilityNote(), kAvailable);
    EXPECT_TRUE(test::spinUntil([&] { return server.modelListRequests() > before; }, 1s));
    EXPECT_EQ(engine.availabilityNote(), kAvailable);  // still in flight
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kNotReady; }, 6s));
}

TEST_F(AvailabilityTest, SwitchingTheServerOrTheModelIsNoticedWithinSeconds) {
    RewriteEngine engine;
    int changes = 0;
    QObject::connect(&engine, &RewriteEngine::availabilityChanged, [&changes] { ++changes; });
    ASSERT_TRUE(
        test::spinUntil([&] { return engine.availabilityNote() == kAvailable && server.modelListRequests() > 0; }, 3s));

    server.stop();
    const auto limit = RewriteEngine::kAvailabilityLifetime + 2s;
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kUnavailable; }, limit));

    server.start();
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kAvailable; }, limit));
    EXPECT_GE(changes, 2);

    // Choosing another model is noticed without restarting, and so is its arrival.
    Settings::setString("rewriteModel", "phi4");
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kNotReady; }, 3s));
    server.setModels({"phi4:latest"});
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kAvailable; }, limit));
}

// Behind each note, what was tried and what was found, with the same words in the log.
TEST_F(AvailabilityTest, EachNoteKeepsTheReasonBehindIt) {
    using Kind = AvailabilityReason::Kind;
    RewriteEngine engine;
    const std::string settings = settingsFilePath();
    ASSERT_TRUE(settings.starts_with(home.root().string())) << settings;
    const auto reason = [](Kind kind, std::string endpoint, std::string model, std::vector<std::string> listed = {},
                           std::string settingsFile = {}, std::string detail = {}) {
        return AvailabilityReason{
            kind, std::move(endpoint), std::move(model), std::move(listed), std::move(settingsFile), std::move(detail)};
    };
    struct Row {
        const char* name;
        std::function<void()> arrange;
        AvailabilityReason expected;
        std::optional<std::string> note;
        std::string description;
    };
    const std::string up = server.endpoint();
    test::ScriptedModelServer stopped;
    stopped.stop();
    const std::string down = stopped.endpoint();
    const auto listing = [&](ScriptedReply reply) { return [&, reply] { server.setModelListReply(reply); }; };
    const Row rows[] = {
        {"available", [] {}, reason(Kind::available, up, "llama3.2"), kAvailable,
         "The language model server at " + up + " lists the model \"llama3.2\"."},
        {"not a URL", [] { Settings::setString("rewriteEndpoint", "not a url"); },
         reason(Kind::notUrl, "not a url", "llama3.2"), kUnavailable,
         "The rewriting endpoint \"not a url\" (rewriteEndpoint) is not a URL."},
        {"not http", [] { Settings::setString("rewriteEndpoint", "ftp://127.0.0.1/v1"); },
         reason(Kind::notHttp, "ftp://127.0.0.1/v1", "llama3.2"), kUnavailable,
         "The rewriting endpoint ftp://127.0.0.1/v1 (rewriteEndpoint) does not use http or https."},
        {"off this machine", [] { Settings::setString("rewriteEndpoint", "http://192.168.7.7:11434/v1"); },
         reason(Kind::offMachine, "http://192.168.7.7:11434/v1", "llama3.2"), kOffMachine,
         "The rewriting endpoint http://192.168.7.7:11434/v1 is not on this computer, and allowRemoteRewriting is "
         "not set to true."},
        {"no model", [] { Settings::setString("rewriteModel", ""); }, reason(Kind::noModel, up, "", {}, settings),
         kNoModel,
         "No language model is configured: set rewriteModel in " + settings + " to a model your server lists."},
        {"refused", [&] { Settings::setString("rewriteEndpoint", down); }, reason(Kind::refused, down, "llama3.2"),
         kUnavailable, "The language model server at " + down + " refused the connection: is the server running?"},
        {"not listed", [] { Settings::setString("rewriteModel", "mistral"); },
         reason(Kind::modelNotListed, up, "mistral", {"llama3.2:latest", "qwen2.5:7b"}), kNotReady,
         "The language model server at " + up +
             " runs but lists no model named \"mistral\"; it lists \"llama3.2:latest\", \"qwen2.5:7b\"."},
        {"loading", listing(ScriptedReply::httpError(503, "Loading model")), reason(Kind::loading, up, "llama3.2"),
         kNotReady, "The language model server at " + up + " is still loading its model."},
        {"failing", listing(ScriptedReply::httpError(500, "boom")),
         reason(Kind::failed, up, "llama3.2", {}, {}, "it answered with HTTP status 500"), kUnavailable,
         "The language model server at " + up + " could not list its models: it answered with HTTP status 500."},
        {"a web page", listing(ScriptedReply::raw(200, "<html>a web page</html>")),
         reason(Kind::failed, up, "llama3.2", {}, {}, "its answer is not a model list"), kUnavailable,
         "The language model server at " + up + " could not list its models: its answer is not a model list."},
        {"timed out",
         [&] {
             Settings::setString("rewriteTimeout", "1");
             server.setModelListReply(ScriptedReply::raw(200, R"({"data":[]})").after(3s));
         },
         reason(Kind::timedOut, up, "llama3.2"), kUnavailable,
         "The language model server at " + up + " did not list its models in time."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::clearRewritingSettings();
        Settings::setString("rewriteEndpoint", up);
        Settings::setString("rewriteModel", "llama3.2");
        server.setModelListReply(std::nullopt);
        row.arrange();
        const test::LogCapture log;
        const AvailabilityReason found = blockingWait(engine.checkReason());
        EXPECT_EQ(found, row.expected);
        EXPECT_EQ(found.description(), row.description);
        EXPECT_EQ(checked(engine), row.note);
        EXPECT_EQ(engine.availabilityNote(), row.note);
        EXPECT_EQ(log.count("Project Vesk rewriting: " + row.description), 1);
    }
    // A dropped connection is a failure too; its detail is the network stack's own words.
    server.setModelListReply(ScriptedReply::dropConnection());
    EXPECT_EQ(blockingWait(engine.checkReason()).kind, Kind::failed);
    EXPECT_EQ(engine.availabilityNote(), kUnavailable);
}

// A command that creates the engine and checks at once asks the server one time.
TEST_F(AvailabilityTest, ACheckJoinsTheOneAlreadyOnItsWay) {
    RewriteEngine engine;
    EXPECT_EQ(checked(engine), kAvailable);
    test::spinFor(100ms);
    EXPECT_EQ(server.modelListRequests(), 1u);
    EXPECT_EQ(checked(engine), kAvailable);  // nothing on its way now: a new check
    EXPECT_EQ(server.modelListRequests(), 2u);
}

}  // namespace
}  // namespace vesk

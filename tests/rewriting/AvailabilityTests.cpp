#include "core/Settings.h"
#include "core/BlockingWait.h"
#include "rewriting/RewriteEngine.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::ScriptedReply;

const std::optional<std::string> kAvailable;
const std::optional<std::string> kNoModel = rewriteNotes::kNoModel;
const std::optional<std::string> kOffMachine = rewriteNotes::kOffMachine;
const std::optional<std::string> kNotReady = rewriteNotes::kNotReady;
const std::optional<std::string> kUnavailable = rewriteNotes::kUnavailable;

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

TEST_F(AvailabilityTest, TheFourStatesCarryTheirTexts) {
    RewriteEngine engine;
    EXPECT_EQ(checked(engine), kAvailable);

    Settings::setString("rewriteModel", "");
    EXPECT_EQ(engine.availabilityNote(), kNoModel);
    EXPECT_EQ(checked(engine), kNoModel);
    EXPECT_EQ(*kNoModel, "Choose a local language model in Settings to power on-device rewriting.");

    Settings::setString("rewriteModel", "llama3.2");
    Settings::setString("rewriteEndpoint", "http://192.168.7.7:11434/v1");
    EXPECT_EQ(engine.availabilityNote(), kOffMachine);
    EXPECT_EQ(*kOffMachine, "The configured rewriting server is not on this computer, so on-device rewriting is off.");

    Settings::setString("rewriteEndpoint", server.endpoint());
    Settings::setString("rewriteModel", "mistral");
    EXPECT_EQ(checked(engine), kNotReady);
    EXPECT_EQ(*kNotReady, "The on-device model is still downloading \xE2\x80\x94 try again in a bit.");

    server.stop();
    Settings::setString("rewriteModel", "llama3.2");
    EXPECT_EQ(checked(engine), kUnavailable);
    EXPECT_EQ(*kUnavailable, "The on-device model is unavailable.");
}

TEST_F(AvailabilityTest, ANoteFromTheSettingsNeverAsksTheServer) {
    Settings::setString("rewriteModel", "");
    RewriteEngine engine;
    EXPECT_EQ(engine.availabilityNote(), kNoModel);
    EXPECT_EQ(checked(engine), kNoModel);
    test::spinFor(200ms);
    EXPECT_EQ(server.modelListRequests(), 0u);
}

TEST_F(AvailabilityTest, ALoadingOrFailingServerIsReported) {
    RewriteEngine engine;
    server.setModelListReply(ScriptedReply::httpError(503, "Loading model"));
    EXPECT_EQ(checked(engine), kNotReady);
    server.setModelListReply(ScriptedReply::httpError(500, "boom"));
    EXPECT_EQ(checked(engine), kUnavailable);
    server.setModelListReply(ScriptedReply::raw(200, "<html>a web page</html>"));
    EXPECT_EQ(checked(engine), kUnavailable);
    server.setModelListReply(ScriptedReply::dropConnection());
    EXPECT_EQ(checked(engine), kUnavailable);
    server.setModelListReply(std::nullopt);
    EXPECT_EQ(checked(engine), kAvailable);
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

TEST_F(AvailabilityTest, SwitchingTheServerOffAndOnIsNoticedWithinSeconds) {
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
}

TEST_F(AvailabilityTest, ChoosingAnotherModelIsNoticedWithoutRestarting) {
    RewriteEngine engine;
    ASSERT_EQ(checked(engine), kAvailable);
    Settings::setString("rewriteModel", "phi4");
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kNotReady; }, 3s));
    server.setModels({"phi4:latest"});
    const auto limit = RewriteEngine::kAvailabilityLifetime + 2s;
    EXPECT_TRUE(test::spinUntil([&] { return engine.availabilityNote() == kAvailable; }, limit));
}

}  // namespace
}  // namespace vesk

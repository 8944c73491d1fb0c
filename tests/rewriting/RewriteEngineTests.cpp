#include "app/Error.h"
#include "app/Settings.h"
#include "rewriting/BlockingWait.h"
#include "rewriting/RewriteEngine.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::ScriptedReply;

const std::string kRule = "\nOutput ONLY the resulting text \xE2\x80\x94 no preamble, no quotes, no explanations.";

class RewriteEngineTest : public ::testing::Test {
protected:
    // Runs before the engine is made, so that it starts from these settings.
    bool configure() {
        test::clearRewritingSettings();
        Settings::setString("rewriteEndpoint", server.endpoint());
        Settings::setString("rewriteModel", "llama3.2");
        server.setModels({"llama3.2:latest"});
        return true;
    }

    // The error a rewrite fails with; fails the test when it does not fail.
    Error rewriteFailure(const std::string& text = "some text") {
        try {
            const std::string result = engine.rewriteAndWait(text, "Polish it.");
            ADD_FAILURE() << "the rewrite succeeded with \"" << result << "\"";
        } catch (const Error& error) {
            return error;
        }
        return Error("", 0, "");
    }

    test::CoreApplicationInstance application;
    test::ScratchHome home;
    test::ScriptedModelServer server;
    const bool configured = configure();
    RewriteEngine engine;
};

TEST_F(RewriteEngineTest, SendsTheInstructionsAndTextAndReturnsTheTrimmedAnswer) {
    server.enqueueChatReply(ScriptedReply::answer("\n  Let's meet on Friday at 3 pm.  \n"));
    EXPECT_EQ(engine.rewriteAndWait("lets meet uh friday at 3 pm", "Polish the text.\nKeep names."),
              "Let's meet on Friday at 3 pm.");

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests.front();
    EXPECT_EQ(request.systemMessage, "Polish the text.\nKeep names." + kRule);
    EXPECT_EQ(request.userMessage, "lets meet uh friday at 3 pm");
    EXPECT_EQ(request.model, "llama3.2");
    EXPECT_EQ(request.messageCount, 2u);
    const std::set<std::string> keys(request.topLevelKeys.begin(), request.topLevelKeys.end());
    EXPECT_EQ(keys, (std::set<std::string>{"model", "messages", "stream"})) << request.body;
}

TEST_F(RewriteEngineTest, StartsAFreshConversationEveryTime) {
    server.enqueueChatReply(ScriptedReply::answer("First."));
    server.enqueueChatReply(ScriptedReply::answer("Second."));
    EXPECT_EQ(engine.rewriteAndWait("one", "A."), "First.");
    EXPECT_EQ(engine.rewriteAndWait("two", "B."), "Second.");
    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].messageCount, 2u);
    EXPECT_EQ(requests[1].systemMessage, "B." + kRule);
    EXPECT_EQ(requests[1].userMessage, "two");
}

TEST_F(RewriteEngineTest, AnEmptyAnswerIsAValidResult) {
    server.enqueueChatReply(ScriptedReply::answer(""));
    server.enqueueChatReply(ScriptedReply::answer(" \n\t "));
    EXPECT_EQ(engine.rewriteAndWait("text", "i"), "");
    EXPECT_EQ(engine.rewriteAndWait("text", "i"), "");
}

TEST_F(RewriteEngineTest, DropsALeadingThinkingBlockBeforeTrimming) {
    server.enqueueChatReply(
        ScriptedReply::answer("<think>\nThey want a polish. Keep $1,250.\n</think>\n\n Paid $1,250. "));
    EXPECT_EQ(engine.rewriteAndWait("paid $1,250", "Polish."), "Paid $1,250.");
}

TEST_F(RewriteEngineTest, AnHttpErrorFailsWithTheStatusAndTheServersMessage) {
    server.enqueueChatReply(ScriptedReply::httpError(500, "model crashed"));
    const Error error = rewriteFailure();
    EXPECT_EQ(error.domain(), kErrorDomain);
    EXPECT_EQ(error.code(), static_cast<int>(RewriteError::httpStatus));
    EXPECT_EQ(error.description(), "The language model server answered with HTTP status 500: model crashed.");

    server.enqueueChatReply(ScriptedReply::raw(404, "<html>not here</html>"));
    EXPECT_EQ(rewriteFailure().description(), "The language model server answered with HTTP status 404.");
}

TEST_F(RewriteEngineTest, AMalformedBodyFailsAsUnreadable) {
    for (const char* body : {"this is not json", R"({"choices":[]})", R"({"id":"x"})"}) {
        server.enqueueChatReply(ScriptedReply::raw(200, body));
        const Error error = rewriteFailure();
        EXPECT_EQ(error.code(), static_cast<int>(RewriteError::unreadable)) << body;
        EXPECT_EQ(error.description(), "The on-device model's answer could not be read.");
    }
}

TEST_F(RewriteEngineTest, AnAnswerPastTheTimeoutFailsInsteadOfHanging) {
    Settings::setString("rewriteTimeout", "0.3");
    server.enqueueChatReply(ScriptedReply::answer("Too late.").after(3000ms));
    const Error error = rewriteFailure();
    EXPECT_EQ(error.code(), static_cast<int>(RewriteError::timedOut));
    EXPECT_EQ(error.description(), "The on-device model did not answer within 0.3 seconds.");

    // The engine stays usable, and an answer inside the limit arrives.
    Settings::setString("rewriteTimeout", "5");
    server.enqueueChatReply(ScriptedReply::answer("In time.").after(100ms));
    EXPECT_EQ(engine.rewriteAndWait("x", "i"), "In time.");
}

TEST_F(RewriteEngineTest, AnUnusableTimeoutSettingMeansThirtySeconds) {
    for (const char* value : {"0", "-4", "soon", "", "nan"}) {
        Settings::setString("rewriteTimeout", value);
        EXPECT_EQ(RewriteConfiguration::fromSettings().timeout, 30'000ms) << value;
    }
    Settings::setString("rewriteTimeout", "45");
    EXPECT_EQ(RewriteConfiguration::fromSettings().timeout, 45'000ms);
    Settings::remove("rewriteTimeout");
    EXPECT_EQ(RewriteConfiguration::fromSettings().timeout, 30'000ms);
}

TEST_F(RewriteEngineTest, ADroppedConnectionFails) {
    // Every attempt is dropped, including any the network stack retries on its own.
    server.setFallbackChatReply(ScriptedReply::dropConnection());
    const Error error = rewriteFailure();
    EXPECT_EQ(error.code(), static_cast<int>(RewriteError::connectionLost));
    EXPECT_EQ(error.description(), "The language model server closed the connection before answering.");
    EXPECT_GE(server.chatRequests().size(), 1u);
}

TEST_F(RewriteEngineTest, AServerThatIsDownFailsAsUnreachable) {
    server.stop();
    const Error error = rewriteFailure();
    EXPECT_EQ(error.code(), static_cast<int>(RewriteError::unreachable));
    EXPECT_EQ(error.description(), "The language model server at " + server.endpoint() + " could not be reached.");
}

TEST_F(RewriteEngineTest, ARedirectIsNotFollowed) {
    test::ScriptedModelServer elsewhere;
    elsewhere.setFallbackChatReply(ScriptedReply::answer("Leaked."));
    ScriptedReply redirect = ScriptedReply::raw(307, "{}");
    redirect.headers = {{"Location", elsewhere.endpoint() + "/chat/completions"}};
    server.enqueueChatReply(redirect);
    EXPECT_EQ(rewriteFailure().code(), static_cast<int>(RewriteError::httpStatus));
    EXPECT_TRUE(elsewhere.chatRequests().empty());
}

TEST_F(RewriteEngineTest, NothingIsSentWithoutAChosenModel) {
    Settings::setString("rewriteModel", "");
    const Error error = rewriteFailure();
    EXPECT_EQ(error.code(), static_cast<int>(RewriteError::refused));
    EXPECT_EQ(error.description(), rewriteNotes::kNoModel);
    EXPECT_TRUE(server.chatRequests().empty());
}

TEST(RewriteTraffic, StaysOnThisMachineByDefault) {
    test::ensureCoreApplication();
    test::ScratchHome home;
    test::clearRewritingSettings();
    const RewriteConfiguration defaults = RewriteConfiguration::fromSettings();
    EXPECT_EQ(defaults.endpoint, "http://127.0.0.1:11434/v1");
    EXPECT_TRUE(isOnThisMachine(defaults.endpointUrl()));
    EXPECT_FALSE(defaults.allowRemote);
}

TEST(RewriteTraffic, AnEndpointOffThisMachineIsRefusedBeforeAnyConnection) {
    test::ensureCoreApplication();
    test::ScratchHome home;
    test::clearRewritingSettings();
    // A documentation-range address: any attempt to reach it would end in a network
    // error (unreachable or timed out), never in the refusal checked here.
    Settings::setString("rewriteEndpoint", "http://192.0.2.10:11434/v1");
    Settings::setString("rewriteModel", "llama3.2");
    Settings::setString("rewriteTimeout", "30");
    RewriteEngine engine;
    EXPECT_EQ(engine.availabilityNote(), std::string(rewriteNotes::kOffMachine));
    EXPECT_EQ(blockingWait(engine.checkAvailability()), std::string(rewriteNotes::kOffMachine));
    try {
        engine.rewriteAndWait("my bank password is hunter2", "Polish.");
        FAIL() << "the rewrite was sent";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), static_cast<int>(RewriteError::refused));
        EXPECT_EQ(error.description(), rewriteNotes::kOffMachine);
    }
    // A name for this machine that is not "localhost" is not trusted either.
    Settings::setString("rewriteEndpoint", "http://127.0.0.1.example.com:11434/v1");
    EXPECT_EQ(engine.availabilityNote(), std::string(rewriteNotes::kOffMachine));
}

}  // namespace
}  // namespace vesk

#include "core/BlockingWait.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::kOutputRule;
using test::ScriptedReply;

class RewriteEngineTest : public test::ServedEngineTest {
protected:
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
};

TEST_F(RewriteEngineTest, SendsAFreshConversationOfInstructionsAndTextWithoutSamplingOptions) {
    server.enqueueChatReply(ScriptedReply::answer("First."));
    server.enqueueChatReply(ScriptedReply::answer("Second."));
    EXPECT_EQ(engine.rewriteAndWait("lets meet uh friday at 3 pm", "Polish the text.\nKeep names."), "First.");
    EXPECT_EQ(engine.rewriteAndWait("two", "B."), "Second.");

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].systemMessage, "Polish the text.\nKeep names." + kOutputRule);
    EXPECT_EQ(requests[0].userMessage, "lets meet uh friday at 3 pm");
    EXPECT_EQ(requests[0].model, "llama3.2");
    EXPECT_EQ(requests[0].json["stream"], false);
    for (const auto& request : requests) {
        EXPECT_EQ(request.messageCount, 2u);
        const std::set<std::string> keys(request.topLevelKeys.begin(), request.topLevelKeys.end());
        EXPECT_EQ(keys, (std::set<std::string>{"model", "messages", "stream"})) << request.body;
    }
    EXPECT_EQ(requests[1].systemMessage, "B." + kOutputRule);
    EXPECT_EQ(requests[1].userMessage, "two");
}

TEST_F(RewriteEngineTest, AnswersAreTrimmedAndLoseALeadingThinkingBlock) {
    const std::pair<const char*, const char*> rows[] = {
        {"\n  Let's meet on Friday at 3 pm.  \n", "Let's meet on Friday at 3 pm."},
        {"", ""},  // an empty answer is a valid result
        {" \n\t ", ""},
        {"<think>\nThey want a polish. Keep $1,250.\n</think>\n\n Paid $1,250. ", "Paid $1,250."},
    };
    for (const auto& [answer, expected] : rows) {
        server.enqueueChatReply(ScriptedReply::answer(answer));
        EXPECT_EQ(engine.rewriteAndWait("text", "Polish."), expected) << answer;
    }
}

TEST_F(RewriteEngineTest, FailuresCarryTheirCodeAndSentence) {
    const std::string unreadable = "The on-device model's answer could not be read.";
    test::ScriptedModelServer elsewhere;
    elsewhere.setFallbackChatReply(ScriptedReply::answer("Leaked."));
    ScriptedReply redirect = ScriptedReply::raw(307, "{}");  // never followed
    redirect.headers = {{"Location", elsewhere.endpoint() + "/chat/completions"}};
    const struct {
        ScriptedReply reply;
        RewriteError code;
        std::string description;
    } rows[] = {
        {ScriptedReply::httpError(500, "model crashed"), RewriteError::httpStatus,
         "The language model server answered with HTTP status 500: model crashed."},
        {ScriptedReply::raw(404, "<html>not here</html>"), RewriteError::httpStatus,
         "The language model server answered with HTTP status 404."},
        {ScriptedReply::raw(200, "this is not json"), RewriteError::unreadable, unreadable},
        {ScriptedReply::raw(200, R"({"choices":[]})"), RewriteError::unreadable, unreadable},
        {ScriptedReply::raw(200, R"({"id":"x"})"), RewriteError::unreadable, unreadable},
        {redirect, RewriteError::httpStatus, "The language model server answered with HTTP status 307."},
        // Every attempt is dropped, including any the network stack retries on its own.
        {ScriptedReply::dropConnection(), RewriteError::connectionLost,
         "The language model server closed the connection before answering."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.description + " " + row.reply.body);
        server.setFallbackChatReply(row.reply);
        const Error error = rewriteFailure();
        EXPECT_EQ(error.domain(), kErrorDomain);
        EXPECT_EQ(error.code(), static_cast<int>(row.code));
        EXPECT_EQ(error.description(), row.description);
    }
    EXPECT_TRUE(elsewhere.chatRequests().empty());

    server.stop();
    const Error down = rewriteFailure();
    EXPECT_EQ(down.code(), static_cast<int>(RewriteError::unreachable));
    EXPECT_EQ(down.description(), "The language model server at " + server.endpoint() + " could not be reached.");
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

    // Unusable or missing timeouts mean thirty seconds.
    for (const char* value : {"0", "-4", "soon", "", "nan"}) {
        Settings::setString("rewriteTimeout", value);
        EXPECT_EQ(RewriteConfiguration::fromSettings().timeout, 30'000ms) << value;
    }
    Settings::setString("rewriteTimeout", "45");
    EXPECT_EQ(RewriteConfiguration::fromSettings().timeout, 45'000ms);
    test::clearRewritingSettings();
    const RewriteConfiguration defaults = RewriteConfiguration::fromSettings();
    EXPECT_EQ(defaults.timeout, 30'000ms);
    EXPECT_EQ(defaults.endpoint, "http://127.0.0.1:11434/v1");
    EXPECT_FALSE(defaults.allowRemote);
}

// Refused before any connection: a documentation-range address would end in a network
// error (unreachable or timed out), never in the refusal checked here.
TEST_F(RewriteEngineTest, NothingIsSentWithoutAChosenModelOrToAnEndpointOffThisMachine) {
    const struct {
        const char *key, *value, *description;
    } rows[] = {
        {"rewriteModel", "", rewriteNotes::kNoModel},
        {"rewriteEndpoint", "http://192.0.2.10:11434/v1", rewriteNotes::kOffMachine},
    };
    for (const auto& row : rows) {
        configure();
        Settings::setString(row.key, row.value);
        const Error error = rewriteFailure("my bank password is hunter2");
        EXPECT_EQ(error.code(), static_cast<int>(RewriteError::refused)) << row.key;
        EXPECT_EQ(error.description(), row.description);
    }
    EXPECT_EQ(blockingWait(engine.listModels()), std::vector<std::string>{}) << "not even the list is asked for";
    EXPECT_TRUE(server.chatRequests().empty());
}

TEST_F(RewriteEngineTest, ListsTheServersModelsForChoosingOneEvenBeforeOneIsChosen) {
    server.setModels({"llama3.2", "qwen2.5"});
    Settings::setString("rewriteModel", "");
    EXPECT_EQ(blockingWait(engine.listModels()), (std::vector<std::string>{"llama3.2", "qwen2.5"}));
    // With a model chosen, the one answer also tells whether that model is there.
    Settings::setString("rewriteModel", "mistral");
    const size_t asked = server.modelListRequests();
    EXPECT_EQ(blockingWait(engine.listModels()).size(), 2u);
    EXPECT_EQ(server.modelListRequests(), asked + 1);
    EXPECT_TRUE(engine.availabilityNote().has_value()) << "a model the server does not list is ready";
    Settings::setString("rewriteModel", "qwen2.5");
    blockingWait(engine.listModels());
    EXPECT_EQ(engine.availabilityNote(), std::nullopt);
    EXPECT_EQ(server.modelListRequests(), asked + 2);
    Settings::setString("rewriteModel", "");
    server.setModelListReply(ScriptedReply::raw(200, "not a model list"));
    EXPECT_EQ(blockingWait(engine.listModels()), std::vector<std::string>{});
    server.setModelListReply(ScriptedReply::httpError(500, "broken"));
    EXPECT_EQ(blockingWait(engine.listModels()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vesk

#include "core/BlockingWait.h"
#include "rewriting/ChatCompletion.h"
#include "rewriting/RewriteEngine.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <utility>

namespace vesk {
namespace {

using nlohmann::json;

TEST(ChatRequest, SurvivesTextThatIsNotValidUtf8) {
    const std::string broken = "caf\xC3 ok";
    json body;
    ASSERT_NO_THROW(body = json::parse(chat::requestBody("m", "i", broken)));
    EXPECT_EQ(body["messages"][1]["content"], "caf\xEF\xBF\xBD ok");
}

TEST(ChatAnswer, ReadsTheFirstChoicesContentAndRejectsOtherDocuments) {
    EXPECT_EQ(chat::answerContent(
                  R"({"choices":[{"message":{"role":"assistant","content":"One"}},{"message":{"content":"Two"}}]})"),
              "One");
    EXPECT_EQ(chat::answerContent(R"({"choices":[{"message":{"role":"assistant","content":null}}]})"), "");
    for (const char* body : {"", "not json", "[]", "{}", R"({"choices":[]})", R"({"choices":[{"text":"x"}]})",
                             R"({"choices":[{"message":{"content":42}}]})", R"({"choices":["x"]})"})
        EXPECT_THROW(chat::answerContent(body), std::invalid_argument) << body;
}

TEST(ChatAnswer, ReadsOpenAiStyleErrorMessages) {
    EXPECT_EQ(chat::errorMessage(R"({"error":{"message":"model not found","type":"x"}})"), "model not found");
    EXPECT_EQ(chat::errorMessage(R"({"error":"loading"})"), "loading");
    EXPECT_EQ(chat::errorMessage("<html>oops</html>"), std::nullopt);
    EXPECT_EQ(chat::errorMessage(R"({"detail":"x"})"), std::nullopt);
}

TEST(ChatAnswer, IsTrimmedAndLosesControlsAndOnlyALeadingReasoningBlock) {
    const std::pair<const char*, const char*> rows[] = {
        {"  \n Polished text.\n\t ", "Polished text."},
        {" \n ", ""},
        {"\xE2\x80\x83Wide space\xC2\xA0", "Wide space"},
        {"<think>\nThe user wants...\n</think>\n\nPolished text.", "Polished text."},
        {"\n  <THINK>x</Think>Answer", "Answer"},
        {"<thinking>a</thinking> <think>b</think> Answer", "Answer"},
        // Never closed: the model ran out before answering, so nothing of it is the rewrite.
        {"<think>I should start by", ""},
        {"Use <think> tags </think> like this.", "Use <think> tags </think> like this."},
        {"<thinker>x</thinker>", "<thinker>x</thinker>"},
        // Terminal controls never come back: escape sequences whole, BEL, C1 controls.
        {"\x1B]0;pwned\x07Polished\x1B[31m text.\x07", "Polished text."},
        {"<think>x</think>\r\n\u009B2JLine one\rLine two\x1B", "Line one\nLine two"},
    };
    for (const auto& [answer, expected] : rows) EXPECT_EQ(chat::finishAnswer(answer), expected) << answer;
}

TEST(ModelList, ReadsIdentifiersAndMatchesTheChosenModel) {
    const auto ids = chat::modelIdentifiers(
        R"({"object":"list","data":[{"id":"llama3.2:latest"},{"id":"qwen2.5:7b"},{"object":"x"},"junk"]})");
    EXPECT_EQ(ids, (std::vector<std::string>{"llama3.2:latest", "qwen2.5:7b"}));
    EXPECT_TRUE(chat::listsModel(ids, "llama3.2"));
    EXPECT_TRUE(chat::listsModel(ids, "llama3.2:latest"));
    EXPECT_TRUE(chat::listsModel(ids, "qwen2.5:7b"));
    EXPECT_FALSE(chat::listsModel(ids, "qwen2.5"));  // only the untagged name means ":latest"
    EXPECT_FALSE(chat::listsModel(ids, "llama3.2:1b"));
    EXPECT_FALSE(chat::listsModel(ids, "llama3"));
    EXPECT_FALSE(chat::listsModel(ids, ""));
    EXPECT_THROW(chat::modelIdentifiers(R"({"models":[]})"), std::invalid_argument);
    EXPECT_THROW(chat::modelIdentifiers("<html>"), std::invalid_argument);
}

TEST(RewriteEndpoint, OnlyLoopbackCountsAsThisMachine) {
    for (const char* url : {"http://127.0.0.1:11434/v1", "http://127.8.9.10/v1", "http://[::1]:8080/v1",
                            "http://localhost:1234/v1", "https://LOCALHOST/v1"}) {
        EXPECT_TRUE(isOnThisMachine(QUrl(url))) << url;
    }
    for (const char* url :
         {"http://192.168.1.20:11434/v1", "http://10.0.0.1/v1", "http://0.0.0.0:11434/v1", "http://example.com/v1",
          "http://localhost.example.com/v1", "http://127.0.0.1@example.com/v1", "http://127.0.0.1.example.com/v1"}) {
        EXPECT_FALSE(isOnThisMachine(QUrl(url))) << url;
    }
}

TEST(RewriteEndpoint, SettingsAloneDecideTheFirstNotes) {
    RewriteConfiguration configuration;
    EXPECT_EQ(configuration.endpoint, "http://127.0.0.1:11434/v1");  // loopback by default
    EXPECT_EQ(configurationNote(configuration), std::string(rewriteNotes::kNoModel));
    configuration.model = "llama3.2";
    EXPECT_EQ(configurationNote(configuration), std::nullopt);

    configuration.endpoint = "http://192.168.1.20:11434/v1";
    EXPECT_EQ(configurationNote(configuration), std::string(rewriteNotes::kOffMachine));
    configuration.model.clear();  // off the machine is the more basic problem
    EXPECT_EQ(configurationNote(configuration), std::string(rewriteNotes::kOffMachine));
    configuration.allowRemote = true;
    EXPECT_EQ(configurationNote(configuration), std::string(rewriteNotes::kNoModel));
    configuration.model = "llama3.2";
    EXPECT_EQ(configurationNote(configuration), std::nullopt);

    for (const char* endpoint : {"", "127.0.0.1:11434", "ftp://127.0.0.1/v1", "file:///tmp/socket", "http://"}) {
        configuration.endpoint = endpoint;
        EXPECT_EQ(configurationNote(configuration), std::string(rewriteNotes::kUnavailable)) << endpoint;
    }
}

TEST(RewriteEndpoint, PathsHangBelowTheEndpointWithOrWithoutATrailingSlash) {
    RewriteConfiguration configuration;
    configuration.endpoint = "http://127.0.0.1:8080/v1/";
    EXPECT_EQ(configuration.url("models").toString().toStdString(), "http://127.0.0.1:8080/v1/models");
    configuration.endpoint = " http://127.0.0.1:8080 ";
    EXPECT_EQ(configuration.url("chat/completions").toString().toStdString(), "http://127.0.0.1:8080/chat/completions");
}

}  // namespace
}  // namespace vesk

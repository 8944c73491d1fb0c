#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"

#include "RewritingTestSupport.h"

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

#include <map>

namespace vesk {
namespace {

using test::ScriptedReply;

const std::string kPolish =
    "Polish the user's text: fix grammar, spelling and punctuation, and improve clarity and flow. Keep the meaning, "
    "tone, formatting and language unchanged.\nOutput ONLY the resulting text \xE2\x80\x94 no preamble, no quotes, no "
    "explanations.";

// Runs `ProjectVesk --transform` as a person would, with the settings a child process
// reads from the scratch home.
class TransformModeTest : public ::testing::Test {
protected:
    void writeSettings(const std::map<std::string, std::string>& values) {
        QSettings file(QString::fromStdString((home.root() / "config" / "ProjectVesk" / "ProjectVesk.conf").string()),
                       QSettings::IniFormat);
        file.clear();
        for (const auto& [key, value] : values)
            file.setValue(QString::fromStdString(key), QString::fromStdString(value));
        file.sync();
        ASSERT_EQ(file.status(), QSettings::NoError);
    }

    test::ProcessResult transform(const std::string& text) {
        return test::runProcess(test::projectVeskExecutable(), {"--transform", text}, 30);
    }

    test::CoreApplicationInstance application;
    test::ScratchHome home;
    test::ScriptedModelServer server;
};

TEST_F(TransformModeTest, PrintsTheRewriteOrReportsItsFailure) {
    server.setModels({"llama3.2:latest"});
    writeSettings({{"rewriteEndpoint", server.endpoint()}, {"rewriteModel", "llama3.2"}});
    const struct {
        ScriptedReply reply;
        int exitCode;
        std::string out, err;
    } rows[] = {
        {ScriptedReply::answer("\n<think>polish it</think>\nI have two apples.\n\n"), 0, "I have two apples.\n", ""},
        // Nothing to print is a failure, not an empty line a script would paste.
        {ScriptedReply::answer("   "), 1, "", "Failed: The on-device model returned no text.\n"},
        {ScriptedReply::answer("<think>First I will"), 1, "", "Failed: The on-device model returned no text.\n"},
        // Terminal controls in the answer never reach the output.
        {ScriptedReply::answer("\x1B]0;pwned\x07I have\x1B[2J two apples.\x07"), 0, "I have two apples.\n", ""},
        {ScriptedReply::httpError(500, "out of memory"), 1, "",
         "Failed: The language model server answered with HTTP status 500: out of memory.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.out + row.err);
        server.clearRecords();
        server.enqueueChatReply(row.reply);
        const auto result = transform("i has two apple");
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        // The server is asked for its models once per run, then for the rewrite.
        EXPECT_EQ(server.modelListRequests(), 1u);
        const auto requests = server.chatRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].systemMessage, kPolish);
        EXPECT_EQ(requests[0].userMessage, "i has two apple");
    }
}

TEST_F(TransformModeTest, ExplainsWhyNoModelCanBeUsed) {
    const struct {
        std::string model, err;
        bool serverUp;
    } rows[] = {
        {"", "Unavailable: Choose a local language model in Settings to power on-device rewriting.\n", true},
        // A chosen model the server does not have.
        {"llama3.2", "Unavailable: The on-device model is still downloading \xE2\x80\x94 try again in a bit.\n", true},
        {"llama3.2", "Unavailable: The on-device model is unavailable.\n", false},
    };
    for (const auto& row : rows) {
        writeSettings({{"rewriteEndpoint", server.endpoint()}, {"rewriteModel", row.model}});
        if (!row.serverUp) server.stop();
        const auto result = transform("text");
        EXPECT_EQ(result.exitCode, 1) << row.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, row.err);
    }
    EXPECT_TRUE(server.chatRequests().empty());
}

TEST_F(TransformModeTest, OutputThatCannotBeWrittenIsAFailure) {
    server.setModels({"llama3.2"});
    writeSettings({{"rewriteEndpoint", server.endpoint()}, {"rewriteModel", "llama3.2"}});
    server.enqueueChatReply(ScriptedReply::answer("Polished."));
    const auto result = test::runProcess(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", test::projectVeskExecutable(), "--transform", "text"}, 30);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Project Vesk could not write to standard output.\n");
}

}  // namespace
}  // namespace vesk

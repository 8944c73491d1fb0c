#include "app/Settings.h"
#include "rewriting/BlockingWait.h"
#include "rewriting/RewriteEngine.h"
#include "rewriting/VoiceProfile.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"
#include "text/Unicode.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

namespace vesk::VoiceProfileStore {
namespace {

using test::ScriptedReply;

const std::string kInstructions =
    "You will receive samples of one person's dictated speech. Invent a short, fun two-word persona title that "
    "captures what they talk about and how they speak (examples of the format: \"Design Inspector\", \"Pipeline "
    "Poet\", \"Deadline Whisperer\"). Then write one short sentence (max 14 words) describing their dictation style. "
    "Answer in exactly this format, nothing else:\nTitle: <two word title>\nStyle: <one sentence>"
    "\nOutput ONLY the resulting text \xE2\x80\x94 no preamble, no quotes, no explanations.";

std::vector<HistoryEntry> entriesWith(const std::vector<std::string>& transcripts) {
    std::vector<HistoryEntry> entries;
    for (const auto& transcript : transcripts) entries.push_back({"", transcript, "", 0, {}, {}});
    return entries;
}

class VoiceProfileGeneration : public ::testing::Test {
protected:
    bool configure() {
        test::clearRewritingSettings();
        Settings::remove(kSettingsKey);
        Settings::setString("rewriteEndpoint", server.endpoint());
        Settings::setString("rewriteModel", "llama3.2");
        server.setModels({"llama3.2"});
        return true;
    }

    std::optional<VoiceProfile> generateAnswering(const std::string& answer,
                                                  const std::vector<std::string>& transcripts = {"ship it friday"}) {
        server.enqueueChatReply(ScriptedReply::answer(answer));
        return blockingWait(generate(entriesWith(transcripts), 1234, engine));
    }

    test::CoreApplicationInstance application;
    test::ScratchHome home;
    test::ScriptedModelServer server;
    const bool configured = configure();
    RewriteEngine engine;
};

TEST_F(VoiceProfileGeneration, SavesTheProfileTheModelDescribes) {
    const auto profile =
        generateAnswering("Title: \u201CPipeline Poet.\u201D\nStyle:  Speaks in tidy, numbered steps.  ");
    const VoiceProfile expected{"Pipeline Poet", "Speaks in tidy, numbered steps.", 1234};
    EXPECT_EQ(profile, expected);
    EXPECT_EQ(load(), expected);

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].systemMessage, kInstructions);
    EXPECT_EQ(requests[0].userMessage, "ship it friday");
}

TEST_F(VoiceProfileGeneration, SamplesTheFirstThirtyTranscriptsUpToFourThousandCharacters) {
    std::vector<std::string> many;
    for (int i = 0; i < 50; ++i) many.push_back("entry " + std::to_string(i));
    ASSERT_TRUE(generateAnswering("Title: Deadline Whisperer", many));
    std::string expected = "entry 0";
    for (int i = 1; i < 30; ++i) expected += "\nentry " + std::to_string(i);
    EXPECT_EQ(server.chatRequests().back().userMessage, expected);

    // Long transcripts are cut at 4000 characters, here inside a word of the second one.
    const std::string accented = "\u00E9t\u00E9 ";
    std::string second;
    while (unicode::graphemes(second).size() < 3000) second += accented;
    ASSERT_TRUE(generateAnswering("Title: Deadline Whisperer", {std::string(2500, 'a'), second}));
    const std::string sent = server.chatRequests().back().userMessage;
    EXPECT_EQ(unicode::graphemes(sent).size(), 4000u);
    EXPECT_EQ(sent.substr(0, 2501), std::string(2500, 'a') + "\n");
}

TEST_F(VoiceProfileGeneration, ReadsTheTitleLineTheWayTheFormatAsks) {
    EXPECT_EQ(generateAnswering("TITLE: Design Inspector\nSTYLE: Brisk.").value_or(VoiceProfile{}).title,
              "Design Inspector");
    // A scratchpad that mentions a title is not the answer.
    EXPECT_EQ(
        generateAnswering("<think>Title: Wrong Guess</think>\nTitle: Right Answer").value_or(VoiceProfile{}).title,
        "Right Answer");
    const std::string forty = "Quite Remarkably Long Persona Title Here";
    ASSERT_EQ(forty.size(), 40u);
    EXPECT_EQ(generateAnswering("Title: " + forty).value_or(VoiceProfile{}).title, forty);
}

TEST_F(VoiceProfileGeneration, AnUnusableAnswerKeepsTheStoredProfile) {
    const VoiceProfile stored{"Pipeline Poet", "Tidy.", 10};
    save(stored);
    const std::string unusable[] = {
        "Titles: Design Inspector\nStyle: Brisk.",           // not the prefix
        "Style: Talks about pipelines.",                     // no title line
        "Title: Quite Remarkably Long Persona Title Here!",  // 41 characters
        "Title: \u201C.\u201D",                              // nothing left of the title
        "",
    };
    for (const std::string& answer : unusable) {
        EXPECT_EQ(generateAnswering(answer), std::nullopt) << answer;
        EXPECT_EQ(load(), stored) << answer;
    }
    server.enqueueChatReply(ScriptedReply::httpError(500, "boom"));
    EXPECT_EQ(blockingWait(generate(entriesWith({"text"}), 5, engine)), std::nullopt);
    EXPECT_EQ(load(), stored);
}

TEST_F(VoiceProfileGeneration, NeverAsksWithoutAModelOrWithoutTranscripts) {
    server.setFallbackChatReply(ScriptedReply::answer("Title: Never Asked"));
    EXPECT_EQ(blockingWait(generate({}, 5, engine)), std::nullopt);
    EXPECT_EQ(blockingWait(generate(entriesWith({""}), 5, engine)), std::nullopt);
    Settings::setString("rewriteModel", "");
    EXPECT_EQ(blockingWait(generate(entriesWith({"ship it"}), 5, engine)), std::nullopt);
    EXPECT_TRUE(server.chatRequests().empty());
    EXPECT_EQ(load(), std::nullopt);
}

}  // namespace
}  // namespace vesk::VoiceProfileStore

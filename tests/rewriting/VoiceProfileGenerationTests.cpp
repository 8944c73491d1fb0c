#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"
#include "rewriting/VoiceProfile.h"

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

class VoiceProfileGeneration : public test::ServedEngineTest {
protected:
    std::optional<VoiceProfile> generateAnswering(const std::string& answer,
                                                  const std::vector<std::string>& transcripts = {"ship it friday"}) {
        server.enqueueChatReply(ScriptedReply::answer(answer));
        return blockingWait(generate(entriesWith(transcripts), 1234, engine));
    }
};

TEST_F(VoiceProfileGeneration, SendsTheSampleAndSavesTheProfileTheModelDescribes) {
    std::vector<std::string> many;
    for (int i = 0; i < 50; ++i) many.push_back("entry " + std::to_string(i));
    // A scratchpad that mentions a title is not the answer.
    const auto profile = generateAnswering(
        "<think>Title: Wrong Guess</think>\nTitle: \u201CPipeline Poet.\u201D\nStyle:  Speaks in tidy steps.  ", many);
    const VoiceProfile expected{"Pipeline Poet", "Speaks in tidy steps.", 1234};
    EXPECT_EQ(profile, expected);
    EXPECT_EQ(load(), expected);

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].systemMessage, kInstructions);
    EXPECT_EQ(requests[0].userMessage, sampleText(entriesWith(many)));
}

TEST_F(VoiceProfileGeneration, AnUnusableAnswerKeepsTheStoredProfile) {
    const VoiceProfile stored{"Pipeline Poet", "Tidy.", 10};
    save(stored);
    const std::string unusable[] = {
        "Style: Talks about pipelines.",                     // no title line
        "Title: Quite Remarkably Long Persona Title Here!",  // 41 characters
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

#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/PromptCoach.h"
#include "rewriting/RewriteEngine.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using test::ScriptedReply;
const std::string& kRule = test::kOutputRule;

const std::string kPrompt =
    "Rewrite the user's spoken draft as a strong prompt for ChatGPT.\n"
    "Preserve the user's actual intent, facts, names, language, and constraints.\n"
    "Make the goal explicit and organize only useful context. Remove filler,\n"
    "false starts, repetition, conversational asides, and abandoned thoughts.\n"
    "When the speaker corrects themself, keep the final correction and remove\n"
    "the superseded wording. State the requested output clearly when implied.\n"
    "Do not answer the prompt. Do not invent facts, requirements, or preferences.\n"
    "If a missing detail would materially change the result, tell ChatGPT to ask\n"
    "one concise clarifying question before proceeding.\n"
    "Keep the prompt natural and no longer than necessary.\n";

const std::string kClean =
    "Turn the user's spoken words into natural written language.\n"
    "Preserve their meaning, voice, level of detail, ordering, decisions,\n"
    "facts, names, constraints, and final self-corrections. Remove filler,\n"
    "false starts, accidental repetition, abandoned wording, and purely\n"
    "conversational asides. Fix grammar and punctuation only where needed.\n"
    "Do not summarize, reorganize, add prompt scaffolding, infer a request,\n"
    "introduce new facts, or answer the user. Keep approximately the same\n"
    "length unless repetition or abandoned speech makes that unnecessary.\n";

// A request with an amount, a name and a negation, as spoken.
const std::string kSpoken = "  um so tell Maria the invoice for $1,250 is not approved yet  \n";
const std::string kTrimmed = "um so tell Maria the invoice for $1,250 is not approved yet";

class CoachRewriteTest : public test::ServedEngineTest {
protected:
    PromptAssessment improve(const std::string& text) { return blockingWait(PromptCoach::improve(text, engine)); }
    PromptAssessment clean(const std::string& text) { return blockingWait(PromptCoach::clean(text, engine)); }

    // The clean fallback: the assessment with the trimmed dictation to deliver.
    static PromptAssessment dictationOf(const std::string& text) {
        PromptAssessment expected = PromptCoach::assess(text);
        expected.improved = expected.original;
        return expected;
    }
};

// Both modes send their instruction and the detail line, and keep the assessment of the
// request as spoken with the rewrite to deliver.
TEST_F(CoachRewriteTest, EachModeAsksWithItsInstructionAndDetailsAndDeliversTheRewrite) {
    const struct {
        bool cleanMode;
        std::string spoken, rewrite, instructions;
    } rows[] = {
        {false, kSpoken, "Tell Maria that the $1,250 invoice is not approved yet.",
         kPrompt + "Preserve these critical details exactly: $1,250 | Maria" + kRule},
        {true, "so um we should uh meet tomorrow", "We should meet tomorrow.",
         kClean + "No critical literal details were detected." + kRule},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.instructions);
        server.clearRecords();
        server.enqueueChatReply(ScriptedReply::answer(row.rewrite));
        PromptAssessment expected = PromptCoach::assess(row.spoken);
        ASSERT_NE(expected.improved, row.rewrite);
        expected.improved = row.rewrite;
        EXPECT_EQ(row.cleanMode ? clean(row.spoken) : improve(row.spoken), expected);
        const auto requests = server.chatRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].systemMessage, row.instructions);
        EXPECT_EQ(requests[0].userMessage, PromptCoach::assess(row.spoken).original);
    }
    EXPECT_EQ(PromptCoach::assess(kSpoken).original, kTrimmed);
}

// What was asked and came back unusable: a rewrite that loses an amount, a name or a
// negation, an empty answer, a failure or no server at all.
TEST_F(CoachRewriteTest, AnUnusableRewriteFallsBackToTheScaffoldOrTheDictation) {
    const ScriptedReply unusable[] = {
        ScriptedReply::answer("Tell Maria the invoice is not approved yet."),
        ScriptedReply::answer("Tell them the $1,250 invoice is not approved yet."),
        ScriptedReply::answer("Tell Maria the $1,250 invoice is approved."),
        ScriptedReply::answer("Tell Maria the $1,520 invoice is not approved yet."),
        ScriptedReply::answer("  "),
        ScriptedReply::httpError(500, "boom"),
        ScriptedReply::raw(200, "garbage"),
        ScriptedReply::dropConnection(),
    };
    for (const ScriptedReply& reply : unusable) {
        server.clearRecords();
        server.setFallbackChatReply(reply);
        EXPECT_EQ(improve(kSpoken), PromptCoach::assess(kSpoken)) << reply.body;
        EXPECT_EQ(clean(kSpoken), dictationOf(kSpoken)) << reply.body;
        EXPECT_GE(server.chatRequests().size(), 2u) << reply.body;
    }
    server.stop();
    EXPECT_EQ(improve(kSpoken), PromptCoach::assess(kSpoken));
    EXPECT_EQ(clean(kSpoken), dictationOf(kSpoken));
}

TEST_F(CoachRewriteTest, AnUnavailableModelGivesTheScaffoldOrTheDictationWithoutAsking) {
    Settings::setString("rewriteModel", "");
    const PromptAssessment improved = improve(kSpoken);
    EXPECT_EQ(improved, PromptCoach::assess(kSpoken));
    EXPECT_NE(improved.improved, kTrimmed);  // the scaffold, not the bare dictation
    EXPECT_EQ(clean(kSpoken), dictationOf(kSpoken));
    EXPECT_TRUE(server.chatRequests().empty());
}

TEST_F(CoachRewriteTest, EmptyInputNeverCallsTheModel) {
    server.setFallbackChatReply(ScriptedReply::answer("Something invented."));
    for (const std::string text : {"", "  \n\t "}) {
        const PromptAssessment expected = PromptCoach::assess(text);
        EXPECT_EQ(improve(text), expected);
        EXPECT_EQ(clean(text), expected);
    }
    EXPECT_TRUE(server.chatRequests().empty());
}

}  // namespace
}  // namespace vesk

#include "core/Settings.h"
#include "core/BlockingWait.h"
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

TEST_F(CoachRewriteTest, ImproveAsksForAPromptThatKeepsTheDetails) {
    const std::string rewrite = "Tell Maria that the $1,250 invoice is not approved yet.";
    server.enqueueChatReply(ScriptedReply::answer(rewrite));
    const PromptAssessment result = improve(kSpoken);

    PromptAssessment expected = PromptCoach::assess(kSpoken);
    ASSERT_NE(expected.improved, rewrite);
    expected.improved = rewrite;  // score and suggestions stay those of the request as spoken
    EXPECT_EQ(result, expected);

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].systemMessage, kPrompt + "Preserve these critical details exactly: $1,250 | Maria" + kRule);
    EXPECT_EQ(requests[0].userMessage, kTrimmed);
}

TEST_F(CoachRewriteTest, CleanAsksForWrittenLanguageAndSaysWhenNothingIsLiteral) {
    server.enqueueChatReply(ScriptedReply::answer("We should meet tomorrow."));
    const PromptAssessment result = clean("so um we should uh meet tomorrow");
    EXPECT_EQ(result.improved, "We should meet tomorrow.");
    EXPECT_EQ(result.original, "so um we should uh meet tomorrow");
    EXPECT_EQ(result.score, PromptCoach::assess("so um we should uh meet tomorrow").score);

    const auto requests = server.chatRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].systemMessage, kClean + "No critical literal details were detected." + kRule);
}

TEST_F(CoachRewriteTest, ARewriteThatLosesADetailIsDiscarded) {
    const std::string lossy[] = {
        "Tell Maria the invoice is not approved yet.",         // the amount
        "Tell them the $1,250 invoice is not approved yet.",   // the name
        "Tell Maria the $1,250 invoice is approved.",          // the negation
        "Tell Maria the $1,520 invoice is not approved yet.",  // a changed amount
    };
    for (const std::string& rewrite : lossy) {
        server.enqueueChatReply(ScriptedReply::answer(rewrite));
        EXPECT_EQ(improve(kSpoken), PromptCoach::assess(kSpoken)) << rewrite;
        server.enqueueChatReply(ScriptedReply::answer(rewrite));
        EXPECT_EQ(clean(kSpoken), dictationOf(kSpoken)) << rewrite;
    }
    EXPECT_EQ(server.chatRequests().size(), 8u);
}

TEST_F(CoachRewriteTest, AFailingEmptyOrUnreachableRewriteFallsBack) {
    const ScriptedReply failures[] = {ScriptedReply::answer("  "), ScriptedReply::httpError(500, "boom"),
                                      ScriptedReply::raw(200, "garbage"), ScriptedReply::dropConnection()};
    for (const ScriptedReply& failure : failures) {
        server.setFallbackChatReply(failure);
        EXPECT_EQ(improve(kSpoken), PromptCoach::assess(kSpoken)) << failure.body;
        EXPECT_EQ(clean(kSpoken), dictationOf(kSpoken)) << failure.body;
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
        EXPECT_EQ(expected.score, 25);
        EXPECT_EQ(expected.improved, "");
        EXPECT_EQ(improve(text), expected);
        EXPECT_EQ(clean(text), expected);
    }
    EXPECT_TRUE(server.chatRequests().empty());
}

}  // namespace
}  // namespace vesk

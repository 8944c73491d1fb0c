#include "ui/ConsoleFixture.h"

#include "ui/AssemblingTranscriptView.h"
#include "ui/TranscriptTokens.h"

namespace vesk::test {
namespace {

using State = TranscriptTokenState;

TEST(TranscriptTokens, IdsOffsetsAndTail) {
    struct Case {
        const char* finalized;
        const char* provisional;
        std::vector<TranscriptToken> expected;
    };
    const Case cases[] = {
        {"", "", {}},
        {"  Hello   brave\nworld ",
         "",
         {{"finalized-0", "Hello", State::finalized, 0, false},
          {"finalized-1", "brave", State::finalized, 6, false},
          {"finalized-2", "world", State::finalized, 12, false}}},
        {"Hi there",
         "new wor",
         {{"finalized-0", "Hi", State::finalized, 0, false},
          {"finalized-1", "there", State::finalized, 3, false},
          {"provisional-0", "new", State::provisional, 0, false},
          {"provisional-1", "wor", State::provisional, 4, true}}},
        // Offsets count user-perceived characters: "Ås" is 2, the flag is 1.
        {"",
         "Ås 🇳🇴 ok",
         {{"provisional-0", "Ås", State::provisional, 0, false},
          {"provisional-1", "🇳🇴", State::provisional, 3, false},
          {"provisional-2", "ok", State::provisional, 5, true}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(makeTranscriptTokens(c.finalized, c.provisional), c.expected) << c.finalized << "|" << c.provisional;
}

TEST(TranscriptTokens, CommonPrefixAndLabel) {
    struct Prefix {
        const char* previous;
        const char* current;
        size_t length;
    };
    const Prefix prefixes[] = {{"", "", 0},         {"wor", "world", 3}, {"world", "wor", 3},  {"cat", "dog", 0},
                               {"same", "same", 4}, {"Åsa", "Åse", 2},   {"e\u0301t", "e", 0}, {"🇳🇴x", "🇳🇴y", 1}};
    for (const Prefix& p : prefixes)
        EXPECT_EQ(commonPrefixLength(p.previous, p.current), p.length) << p.previous << " → " << p.current;

    EXPECT_EQ(transcriptAccessibilityLabel("Hello there", "new words"), "Hello there new words");
    EXPECT_EQ(transcriptAccessibilityLabel("", "new"), "new");
    EXPECT_EQ(transcriptAccessibilityLabel("done", ""), "done");
    EXPECT_EQ(transcriptAccessibilityLabel("", ""), "");
}

TEST_F(ConsoleTest, TranscriptViewFollowsTheLiveModel) {
    const auto window = makeWindow();
    window->present();
    AssemblingTranscriptView& view = window->studio().transcript();
    model.publishState(UIState::recording);
    EXPECT_TRUE(view.isListening());

    model.transcriptModel().update("Hello", "wor");
    ASSERT_EQ(view.words().size(), 2u);
    EXPECT_EQ(view.words()[1].token.text, "wor");
    EXPECT_FALSE(view.words()[1].revealed) << "new characters wait for the first layout";
    EXPECT_TRUE(spinUntil([&] { return view.words()[1].revealed; }));
    EXPECT_EQ(view.accessibleName(), "Hello wor");

    // The tail grows: its first three characters stay, the rest is revealed again.
    model.transcriptModel().update("Hello", "world is");
    ASSERT_EQ(view.words().size(), 3u);
    EXPECT_EQ(view.words()[1].preservedPrefixCount, 3u);
    EXPECT_FALSE(view.words()[1].revealed);
    EXPECT_EQ(view.words()[2].preservedPrefixCount, 0u);
    EXPECT_TRUE(view.words()[2].token.isTail);
    EXPECT_TRUE(spinUntil([&] { return view.words()[1].revealed && view.words()[2].revealed; }));
    EXPECT_EQ(view.accessibleName(), "Hello world is");

    // A settled word that did not change keeps its state.
    model.transcriptModel().update("Hello world", "is");
    EXPECT_EQ(view.words()[0].token.id, "finalized-0");
    EXPECT_TRUE(view.words()[0].revealed);
    EXPECT_EQ(view.words()[1].token.id, "finalized-1");

    EXPECT_GE(view.frontierLength(), 8.0);
    EXPECT_NEAR(view.frontierLength(), std::max(8.0, 0.34 * view.contentsRect().width()), 1e-9);
    EXPECT_GE(view.frontierPhase(), 0.0);
    EXPECT_LT(view.frontierPhase(), 1.0);

    model.publishState(UIState::processing);
    EXPECT_FALSE(view.isListening());
}

}  // namespace
}  // namespace vesk::test

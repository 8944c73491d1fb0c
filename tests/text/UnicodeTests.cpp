#include "text/Unicode.h"

#include <gtest/gtest.h>

namespace vesk::unicode {
namespace {

TEST(Unicode, TrimsEachKindOfSpaceAndPunctuationFromBothEnds) {
    EXPECT_EQ(trimWhitespaceAndNewlines(" \t\n\u00A0hello world\u2028\r\n"), "hello world");
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200B x"), "\u200B x");  // zero-width space is not white space
    EXPECT_EQ(trimWhitespaceAndNewlines("   "), "");
    EXPECT_EQ(trimHorizontalWhitespace("\t\u3000 line \n"), "line \n");
    EXPECT_EQ(trimPunctuation("\u00BFqu\u00E9?!\u201D"), "qu\u00E9");
    EXPECT_EQ(trimPunctuation("$1,250"), "$1,250");  // currency is a symbol, not punctuation
}

TEST(Unicode, GraphemesKeepClustersTogether) {
    // A combining mark, an emoji sequence, a Tamil syllable with a dependent vowel.
    EXPECT_EQ(graphemes("e\u0301\U0001F469\u200D\U0001F4BB\u0BA8\u0BBF!"),
              (std::vector<std::string>{"e\u0301", "\U0001F469\u200D\U0001F4BB", "\u0BA8\u0BBF", "!"}));
    EXPECT_TRUE(graphemes("").empty());
}

TEST(Unicode, FullCaseMappingFoldingAndDiacriticFolding) {
    EXPECT_EQ(toUpper("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(toUpper("bj\u00F8rn"), "BJ\u00D8RN");
    EXPECT_EQ(toLower("\u0130STANBUL"), "i\u0307stanbul");
    EXPECT_EQ(foldCase("Stra\u00DFe"), foldCase("STRASSE"));
    EXPECT_EQ(toUpper("\u043F\u0440\u0438\u0432\u0435\u0442"), "\u041F\u0420\u0418\u0412\u0415\u0422");
    // Only non-spacing marks go: ø has no decomposition.
    EXPECT_EQ(foldDiacritics("caf\u00E9 na\u00EFve a\u0301 Bj\u00F8rn"), "cafe naive a Bj\u00F8rn");
}

TEST(Unicode, CharacterClassesUseTheFirstCodePoint) {
    for (const char* letter : {"\u00F8", "e\u0301", "\u65E5"}) EXPECT_TRUE(isLetter(letter)) << letter;
    for (const char* number : {"7", "\u00BD", "\u0663"}) EXPECT_TRUE(isNumber(number)) << number;
    EXPECT_FALSE(isLetter("\U0001F600"));
    EXPECT_FALSE(isNumber("x"));
    EXPECT_TRUE(isWhitespace("\u00A0") && isWhitespace("\n"));
    EXPECT_FALSE(isWhitespace(""));
    EXPECT_TRUE(isUppercaseLetter("\u00C9"));
    EXPECT_FALSE(isUppercaseLetter("\u00E9"));
}

TEST(Unicode, ReplaceAllUsesGroupsOrLiteralTextAndEscapedPatternsMatchLiterally) {
    EXPECT_EQ(replaceAll("hello , world", " +([,.;:!?])", "$1"), "hello, world");
    EXPECT_EQ(replaceAllLiteral("price", "(?i)\\bprice\\b", "$1 \\ cost"), "$1 \\ cost");
    EXPECT_EQ(replaceAll("\u00C5SA \u00E5sa", "(?i)\\b\u00E5sa\\b", "x"), "x x");
    const std::string key = "c++ (v1.2) [beta]? $5|*";
    EXPECT_TRUE(Regex("(?i)\\b" + escapePattern("c++")).search("I write C++ daily"));
    EXPECT_EQ(replaceAllLiteral("say " + key + " now", escapePattern(key), "X"), "say X now");
    EXPECT_EQ(replaceAllLiteral("a.b axb", escapePattern("a.b"), "!"), "! axb");
}

TEST(Unicode, MatchesReportByteOffsetsAndGroups) {
    const auto found = Regex("(\u00F8+)(x)?").matches("a\u00F8\u00F8b\U0001F600\u00F8x");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].begin, 1u);
    EXPECT_EQ(found[0].end, 5u);
    EXPECT_EQ(found[0].groups[1], "\u00F8\u00F8");
    EXPECT_EQ(found[0].groups[2], "");
    EXPECT_EQ(found[1].begin, 10u);
    EXPECT_EQ(found[1].groups[2], "x");
    EXPECT_THROW(Regex("(unclosed"), std::invalid_argument);
}

TEST(Unicode, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(codePoints("a\xFF"
                         "b"),
              std::u32string(U"a\uFFFDb"));
    EXPECT_EQ(firstCodePoint(""), 0u);
    EXPECT_EQ(fromCodePoints(U"\U0001F600"), "\U0001F600");
}

}  // namespace
}  // namespace vesk::unicode

#include "text/Unicode.h"

#include <gtest/gtest.h>

namespace vesk::unicode {
namespace {

TEST(Unicode, TrimsEachKindOfSpaceFromBothEnds) {
    EXPECT_EQ(trimWhitespaceAndNewlines(" \t\n\u00A0hello world\u2028\r\n"), "hello world");
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200B x"), "\u200B x");  // zero-width space is not white space
    EXPECT_EQ(trimHorizontalWhitespace("\t\u3000 line \n"), "line \n");
    EXPECT_EQ(trimPunctuation("\u00BFqu\u00E9?!\u201D"), "qu\u00E9");
    EXPECT_EQ(trimPunctuation("$1,250"), "$1,250");  // currency is a symbol, not punctuation
    EXPECT_EQ(trimWhitespaceAndNewlines("   "), "");
}

TEST(Unicode, GraphemesKeepClustersTogether) {
    const auto clusters = graphemes("e\u0301\U0001F469\u200D\U0001F4BB\u0BA8\u0BBF!");
    ASSERT_EQ(clusters.size(), 4u);
    EXPECT_EQ(clusters[0], "e\u0301");
    EXPECT_EQ(clusters[1], "\U0001F469\u200D\U0001F4BB");
    EXPECT_EQ(clusters[2], "\u0BA8\u0BBF");  // Tamil syllable with a dependent vowel
    EXPECT_TRUE(graphemes("").empty());
}

TEST(Unicode, FullCaseMappingAndFolding) {
    EXPECT_EQ(toUpper("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(toUpper("bj\u00F8rn"), "BJ\u00D8RN");
    EXPECT_EQ(toLower("\u0130STANBUL"), "i\u0307stanbul");
    EXPECT_EQ(foldCase("Stra\u00DFe"), foldCase("STRASSE"));
    EXPECT_EQ(toUpper("\u043F\u0440\u0438\u0432\u0435\u0442"), "\u041F\u0420\u0418\u0412\u0415\u0422");
}

TEST(Unicode, DiacriticFoldingDropsOnlyNonSpacingMarks) {
    EXPECT_EQ(foldDiacritics("caf\u00E9 na\u00EFve"), "cafe naive");
    EXPECT_EQ(foldDiacritics("Bj\u00F8rn"), "Bj\u00F8rn");  // ø has no decomposition
    EXPECT_EQ(foldDiacritics("a\u0301"), "a");
}

TEST(Unicode, CharacterClassesUseTheFirstCodePoint) {
    EXPECT_TRUE(isLetter("\u00F8"));
    EXPECT_TRUE(isLetter("e\u0301"));
    EXPECT_TRUE(isLetter("\u65E5"));
    EXPECT_FALSE(isLetter("\U0001F600"));
    EXPECT_TRUE(isNumber("7"));
    EXPECT_TRUE(isNumber("\u00BD"));
    EXPECT_TRUE(isNumber("\u0663"));
    EXPECT_FALSE(isNumber("x"));
    EXPECT_TRUE(isWhitespace("\u00A0"));
    EXPECT_TRUE(isWhitespace("\n"));
    EXPECT_FALSE(isWhitespace(""));
    EXPECT_TRUE(isUppercaseLetter("\u00C9"));
    EXPECT_FALSE(isUppercaseLetter("\u00E9"));
}

TEST(Unicode, ReplaceAllUsesGroupsOrLiteralText) {
    EXPECT_EQ(replaceAll("a  b   c", "[ \\t]+", " "), "a b c");
    EXPECT_EQ(replaceAll("hello , world", " +([,.;:!?])", "$1"), "hello, world");
    EXPECT_EQ(replaceAllLiteral("price", "(?i)\\bprice\\b", "$1 \\ cost"), "$1 \\ cost");
    EXPECT_EQ(replaceAll("\u00C5SA \u00E5sa", "(?i)\\b\u00E5sa\\b", "x"), "x x");
}

TEST(Unicode, EscapedPatternsMatchLiterally) {
    const std::string key = "c++ (v1.2) [beta]? $5|*";
    const Regex regex("(?i)\\b" + escapePattern("c++") + "");
    EXPECT_TRUE(regex.search("I write C++ daily"));
    EXPECT_EQ(replaceAllLiteral("say " + key + " now", escapePattern(key), "X"), "say X now");
    EXPECT_EQ(replaceAllLiteral("a.b axb", escapePattern("a.b"), "!"), "! axb");
}

TEST(Unicode, MatchesReportByteOffsetsAndGroups) {
    const Regex regex("(\u00F8+)(x)?");
    const auto found = regex.matches("a\u00F8\u00F8b\U0001F600\u00F8x");
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
    EXPECT_EQ(codePoints("a\xFF" "b"), std::u32string(U"a\uFFFDb"));
    EXPECT_EQ(firstCodePoint(""), 0u);
    EXPECT_EQ(fromCodePoints(U"\U0001F600"), "\U0001F600");
}

}  // namespace
}  // namespace vesk::unicode

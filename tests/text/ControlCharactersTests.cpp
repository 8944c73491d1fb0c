#include "text/ControlCharacters.h"
#include "text/EnglishPronoun.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ControlCharacters, LeavesNothingATerminalWouldObey) {
    const std::pair<std::string, const char*> cases[] = {
        // Line feeds and tabs stay; plain and non-ASCII text is untouched.
        {"a\tb\nc", "a\tb\nc"},
        {"caf\u00E9 \u2026 \U0001F600", "caf\u00E9 \u2026 \U0001F600"},
        // Escape sequences go whole: colours, cursor moves, private modes, two-character
        // escapes, character-set designations, window titles and clipboard writes (OSC,
        // ended by BEL or by ST), device control strings.
        {"\x1B[31mred\x1B[0m", "red"},
        {"a\x1B[2J\x1B[1;1Hb", "ab"},
        {"x\x1B[?2004ly", "xy"},
        {"\x1B"
         "creset",
         "reset"},
        {"\x1B(Bok", "ok"},
        {"\x1B]0;title\x07text", "text"},
        {"\x1B]52;c;ZWNobw==\x1B\\after", "after"},
        {"\x1BPq#0;2;0;0;0\x1B\\ok", "ok"},
        {"\x1B]0;never ended", ""},
        // C1 forms of the same: CSI, OSC with ST.
        {"\u009B31mred", "red"},
        {"\u009D0;t\u009Cok", "ok"},
        {"\u009Fapp\x07ok", "ok"},
        // Single controls: BEL, NUL, backspace, DEL, a lone ESC at the end, other C0 and C1.
        {"ding\x07!", "ding!"},
        {"ab\bc\x7F", "abc"},
        {"end\x1B", "end"},
        {"\x01\x1F\u0080\u0081x", "x"},
        // Line breaks that a terminal would take as Enter become line feeds.
        {"one\r\ntwo\rthree\vfour\ffive\u0085six", "one\ntwo\nthree\nfour\nfive\nsix"},
        // Text beyond an embedded NUL is kept; malformed bytes are mended.
        {std::string("a\0b", 3), "ab"},
        {"bad \xFF\x1B[1m byte", "bad \uFFFD byte"}};
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(removeControlCharacters(input), expected) << testing::PrintToString(input);
}

TEST(EnglishPronoun, WritesTheWholeWordPronounInUpperCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"i", "I"},   {"i'm", "I'm"}, {"i've", "I've"}, {"i'll", "I'll"}, {"i'd", "I'd"},
        {"I", "I"},   {"it", "it"},   {"in", "in"},     {"i's", "i's"},   {"i.e.", "i.e."},
        {"hi", "hi"}, {"", ""},       {"ii", "ii"},     {"i'", "i'"},     {"\u0131", "\u0131"},
    };
    for (const auto& [word, expected] : cases) EXPECT_EQ(writeEnglishPronoun(word), expected) << word;
}

}  // namespace
}  // namespace vesk

#include "text/ControlCharacters.h"
#include "text/EnglishPronoun.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

struct ControlCase {
    const char* input;
    const char* expected;
};

void PrintTo(const ControlCase& row, std::ostream* out) { *out << testing::PrintToString(std::string(row.input)); }

class ControlTable : public testing::TestWithParam<ControlCase> {};

TEST_P(ControlTable, LeavesNothingATerminalWouldObey) {
    EXPECT_EQ(removeControlCharacters(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ControlCharacters, ControlTable,
    testing::Values(
        // Line feeds and tabs stay; plain and non-ASCII text is untouched.
        ControlCase{"a\tb\nc", "a\tb\nc"}, ControlCase{"caf\u00E9 \u2026 \U0001F600", "caf\u00E9 \u2026 \U0001F600"},
        // Escape sequences go whole: colours, cursor moves, private modes, two-character
        // escapes, character-set designations, window titles and clipboard writes (OSC,
        // ended by BEL or by ST), device control strings.
        ControlCase{"\x1B[31mred\x1B[0m", "red"}, ControlCase{"a\x1B[2J\x1B[1;1Hb", "ab"},
        ControlCase{"x\x1B[?2004ly", "xy"},
        ControlCase{"\x1B"
                    "creset",
                    "reset"},
        ControlCase{"\x1B(Bok", "ok"}, ControlCase{"\x1B]0;title\x07text", "text"},
        ControlCase{"\x1B]52;c;ZWNobw==\x1B\\after", "after"}, ControlCase{"\x1BPq#0;2;0;0;0\x1B\\ok", "ok"},
        ControlCase{"\x1B]0;never ended", ""},
        // C1 forms of the same: CSI, OSC with ST.
        ControlCase{"\u009B31mred", "red"}, ControlCase{"\u009D0;t\u009Cok", "ok"},
        ControlCase{"\u009Fapp\x07ok", "ok"},
        // Single controls: BEL, NUL, backspace, DEL, a lone ESC at the end, other C0 and C1.
        ControlCase{"ding\x07!", "ding!"}, ControlCase{"ab\bc\x7F", "abc"}, ControlCase{"end\x1B", "end"},
        ControlCase{"\x01\x1F\u0080\u0081x", "x"},
        // Line breaks that a terminal would take as Enter become line feeds.
        ControlCase{"one\r\ntwo\rthree\vfour\ffive\u0085six", "one\ntwo\nthree\nfour\nfive\nsix"}));

TEST(ControlCharacters, KeepsTextLongerThanOneCStringAndMendsBadBytes) {
    EXPECT_EQ(removeControlCharacters(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(removeControlCharacters("bad \xFF\x1B[1m byte"), "bad \uFFFD byte");
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

#include "support/RandomInput.h"
#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

// What the rules mean, without any shortcut: one compiled pattern per rule, run over
// the whole text whether or not it can match.
std::string oneRegexPerRule(std::string_view text, const std::vector<WholeWordRule>& rules) {
    std::string result(text);
    for (const WholeWordRule& rule : rules) {
        if (rule.phrase.empty()) continue;
        result = unicode::replaceAllLiteral(result, "(?i)\\b" + unicode::escapePattern(rule.phrase) + "\\b",
                                            rule.replacement);
    }
    return result;
}

// The one-pass reading without any shortcut: one pattern with an alternative per rule,
// in order, each with its own word boundaries, so the first rule that matches at a
// position wins and the scan goes on after its match.
std::string oneAlternation(std::string_view text, const std::vector<WholeWordRule>& rules) {
    std::string pattern = "(?i)";
    std::vector<const WholeWordRule*> used;
    for (const WholeWordRule& rule : rules) {
        if (rule.phrase.empty()) continue;
        pattern += (used.empty() ? "(" : "|(") + std::string("\\b") + unicode::escapePattern(rule.phrase) + "\\b)";
        used.push_back(&rule);
    }
    if (used.empty()) return std::string(text);
    const std::string valid = unicode::fromCodePoints(unicode::codePoints(text));
    std::string out;
    size_t copied = 0;
    for (const unicode::RegexMatch& match : unicode::Regex(pattern).matches(valid)) {
        size_t group = 1;
        while (match.groups[group].empty()) ++group;
        const std::string& replacement = used[group - 1]->replacement;
        out += valid.substr(copied, match.begin - copied) + unicode::fromCodePoints(unicode::codePoints(replacement));
        copied = match.end;
    }
    return out + valid.substr(copied);
}

TEST(WholeWordReplacer, ReplacesWholeWordsIgnoringCaseInOrderAndLiterally) {
    const std::vector<WholeWordRule> rules{{"new york", "New York"}, {"york", "York"}, {"a.b", "$1\\"}};
    EXPECT_EQ(replaceWholeWords("NEW YORK, yorkshire and york; a.b axb", rules),
              "New York, yorkshire and York; $1\\ axb");
    EXPECT_EQ(replaceWholeWords("untouched", {}), "untouched");
    // Each rule sees the result of the one before.
    EXPECT_EQ(replaceWholeWords("alpha", std::vector<WholeWordRule>{{"alpha", "beta gamma"}, {"gamma", "delta"}}),
              "beta delta");
    // Empty phrases are ignored, and malformed text is left alone when nothing can match.
    const std::vector<WholeWordRule> empty{{"", "X"}};
    EXPECT_EQ(replaceWholeWords("two words", empty), "two words");
    EXPECT_EQ(replaceWholeWords("bad \xFF byte", empty), "bad \xFF byte");
}

// The substring check before each pattern must never skip a rule the pattern would
// apply, including where case folding changes the length of the text (ß and SS, the
// ff ligature, Greek with iota subscripts) or maps unusual characters (Kelvin sign,
// long s, final sigma).
TEST(WholeWordReplacer, CaseFoldingShortcutNeverSkipsAMatch) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"stra\u00DFe", "STRASSE strasse Stra\u00DFe STRA\u1E9EE"},
        {"STRASSE", "stra\u00DFe"},
        {"\u00DF", "SS ss \u00DF \u1E9E"},
        {"ss", "\u00DF \u1E9E"},
        {"kelvin", "\u212Aelvin"},
        {"\u212A", "k K"},
        {"st", "\u017Ft \uFB06"},
        {"\u03C3\u03BF\u03C6\u03CC\u03C2", "\u03A3\u039F\u03A6\u038C\u03A3"},
        {"\u1F08\u0399", "\u1F80 \u1F88"},
        {"\u1F80", "\u1F08\u0399 \u1F00\u03B9"},
        {"ff", "\uFB00"},
        {"\uFB00", "ff FF"},
        {"i\u0307stanbul", "\u0130STANBUL"},
        {"\u0130stanbul", "i\u0307stanbul ISTANBUL"},
        {"\u0390", "\u03B9\u0308\u0301 \u1FD3"},
        {"bj\u00F8rn", "BJ\u00D8RN Bjorn"},
        {"cafe\u0301", "CAF\u00C9 CAFE\u0301"},
    };
    for (const auto& [phrase, text] : cases) {
        const std::vector<WholeWordRule> rules{{phrase, "<" + phrase + ">"}};
        EXPECT_EQ(replaceWholeWords(text, rules), oneRegexPerRule(text, rules)) << phrase << " in " << text;
        EXPECT_EQ(replaceWholeWordsInOnePass(text, rules), oneAlternation(text, rules)) << phrase << " in " << text;
    }
    // At least the plain cases really do match.
    EXPECT_EQ(replaceWholeWords("STRASSE", std::vector<WholeWordRule>{{"strasse", "x"}}), "x");
    EXPECT_EQ(replaceWholeWords("\u212Aelvin", std::vector<WholeWordRule>{{"kelvin", "K"}}), "K");
}

// Any text against random rules; plain ASCII also takes a path of its own without the
// pattern engine, which must agree on word characters (letters, digits, "_"), punctuation
// at either end of a phrase and matches that touch.
TEST(WholeWordReplacer, RandomRulesGiveWhatOnePatternPerRuleGives) {
    static constexpr const char* words[] = {"york",  "York",     "new",       "NEW YORK", "york2", "_york",
                                            "york_", "yorkyork", "data-base", "$1",       "a.b",   ".net",
                                            "c++",   "x",        "\\",        "(york)",   "9"};
    static constexpr const char* gaps[] = {" ", "", "-", ", ", "\n", ".", "_", "\t"};
    static constexpr const char* odd[] = {"\u00D8", "\xFF", "", "\u00DF York", "new_york"};
    test::RandomInput random(7);
    for (int round = 0; round < 900; ++round) {
        const bool ascii = round % 3 != 0;
        std::string text = ascii ? "" : random.chance(0.15) ? random.mangledText(20) : random.text(20);
        for (size_t i = ascii ? random.below(16) : 0; i > 0; --i)
            text += std::string(random.pick(words)) + random.pick(gaps);
        std::vector<WholeWordRule> rules;
        for (size_t i = ascii ? 1 + random.below(4) : random.below(6); i > 0; --i) {
            if (!ascii) {
                const std::string phrase = random.chance(0.7) ? random.word() : random.word() + " " + random.word();
                rules.push_back({random.chance(0.3) ? unicode::toUpper(phrase) : phrase, random.text(3)});
                continue;
            }
            std::string phrase = random.pick(words);
            if (random.chance(0.3)) phrase += std::string(random.pick(gaps)) + random.pick(words);
            rules.push_back({phrase, random.chance(0.2) ? random.pick(odd) : random.pick(words)});
        }
        ASSERT_EQ(replaceWholeWords(text, rules), oneRegexPerRule(text, rules)) << text;
        ASSERT_EQ(replaceWholeWordsInOnePass(text, rules), oneAlternation(text, rules)) << text;
    }
}

TEST(WholeWordReplacer, OnePassNeverMatchesWhatAReplacementWrote) {
    const std::vector<WholeWordRule> rules{{"new york", "New York"}, {"york", "YORK"}, {"alpha", "york"}, {"", "X"}};
    EXPECT_EQ(replaceWholeWordsInOnePass("alpha, new york and york", rules), "york, New York and YORK");
    // A rule's own overlapping matches: after "x a" is taken, "a a" still matches later.
    const std::vector<WholeWordRule> overlapping{{"x a", "1"}, {"a a", "2"}};
    EXPECT_EQ(replaceWholeWordsInOnePass("x a a a", overlapping), "1 2");
    EXPECT_EQ(replaceWholeWordsInOnePass("bad \xFF byte", std::vector<WholeWordRule>{{"", "X"}}), "bad \xFF byte");
    EXPECT_EQ(replaceWholeWordsInOnePass("\u00C5 NEW YORK \u00DF", rules), "\u00C5 New York \u00DF");
}

TEST(WholeWordReplacer, CountsUserPerceivedCharacters) {
    const std::pair<const char*, size_t> cases[] = {
        {"york", 4}, {"a\r\nb", 3}, {"e\u0301t\u00E9", 3}, {"\U0001F469\u200D\U0001F4BB!", 2}, {"", 0}};
    for (const auto& [text, count] : cases) EXPECT_EQ(characterCount(text), count) << text;
}

}  // namespace
}  // namespace vesk

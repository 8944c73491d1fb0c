#include "support/RandomInput.h"
#include "support/TestEnvironment.h"
#include "text/TextFormatter.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vesk {
namespace {

struct FormatCase {
    const char* input;
    const char* expected;
};

// The reference readings first, then the edges of each rule, grouped by rule.
const FormatCase kFormatCases[] = {
    {"um hello world", "Hello world."},
    {"this is, uh, a test", "This is, a test."},
    {"first line new line second line", "First line\nSecond line."},
    {"intro new paragraph details here", "Intro\n\nDetails here."},
    {"file a ticket in jira today", "File a ticket in Jira today."},
    {"i use claude code daily", "I use Claude Code daily."},
    {"hello world. this is fine", "Hello world. This is fine."},
    {"  spaced   out   words ", "Spaced out words."},
    {"already punctuated!", "Already punctuated!"},
    {"", ""},
    // Nothing left means empty, without a period.
    {" \t\n\u00A0 \r\n", ""},
    {"um um um", ""},
    {"Uh. Erm, hmm", ""},
    {"new line", ""},
    // Fillers are whole words with at most one mark behind them; with two, the tidy
    // pass drops the second mark instead.
    {"umbrella stand", "Umbrella stand."},
    {"the hmmm sound", "The hmmm sound."},
    {"UM, yes. Er. no", "Yes. No."},
    {"okay um", "Okay."},
    {"um,, yes", "Um, yes."},
    {"um!", "Um!"},
    {"x-um y", "X-um y."},
    // Punctuation around a spoken command goes with it; the boundary stands before "new" only.
    {"hello, new line, world", "Hello\nWorld."},
    {"hello newline world", "Hello\nWorld."},
    {"hello. New Paragraph. world", "Hello\n\nWorld."},
    {"a new paragraph new paragraph b", "A\n\nB."},
    {"a new line new line new line b", "A\n\nB."},
    {"renew line items", "Renew line items."},
    // A command ends at the end of a word: followed directly by a letter or digit it is a
    // longer word and stays.
    {"new lines here", "New lines here."},
    {"renew lines are new lines.", "Renew lines are new lines."},
    {"print newlines", "Print newlines."},
    {"two new paragraphs", "Two new paragraphs."},
    {"a new liner", "A new liner."},
    {"new line2 x", "New line2 x."},
    {"new line\u00E9 x", "New line\u00E9 x."},
    {"a new line. b", "A\nB."},
    {"a newline_b", "A\n_b."},
    {"a new line) b", "A\n) b."},
    {"a new paragraph!", "A\n\n!"},
    // Capitals follow sentence ends, through opening quotes and brackets.
    {"version 3.5 is out", "Version 3.5 is out."},
    {"e.g. this", "E.G. This."},
    {"(hello)", "(Hello)"},
    {"she said \"yes.\" \"and then\"", "She said \"yes.\" \"And then\""},
    {"really? yes! [maybe] {ok}", "Really? Yes! [Maybe] {ok}"},
    {"42 apples. 7 pears", "42 apples. 7 pears."},
    {"note: done", "Note: done."},
    {"ends with a colon:", "Ends with a colon:"},
    {"#tag here", "#tag here."},
    // Spaces and marks are tidied.
    {"a\t\tb ,c ;d  !", "A b,c;d!"},
    {"wow!. really?,", "Wow! Really?"},
    // Three or more periods are an ellipsis and stay three; a doubled period or a comma
    // behind a mark still goes, also behind an ellipsis.
    {"hmm... ok", "Hmm... Ok."},
    {"wait....", "Wait..."},
    {"so ..... yes", "So... Yes."},
    {"wait...,", "Wait..."},
    {"why?...", "Why?..."},
    {"hm.. ok", "Hm. Ok."},
    {"done,. now", "Done, now."},
    {"so\u2026 yes", "So\u2026 yes."},
    {"one   \n   two", "One\nTwo."},
    {"one\u3000\n\u00A0two", "One\nTwo."},
    // Beyond ASCII: full upper case (ß, Ǆ not title case), combining marks, other scripts,
    // numbers by their numeric type. An emoji is neither letter nor white space: it ends
    // the sentence start, and a text that ends in one gets no period.
    {"\u00F8l og br\u00F8d. \u00F8rret", "\u00D8l og br\u00F8d. \u00D8rret."},
    {"\u00DF is a letter", "SS is a letter."},
    {"e\u0301cole. e\u0301te\u0301", "E\u0301cole. E\u0301te\u0301."},
    {"\u043F\u0440\u0438\u0432\u0435\u0442 \u043C\u0438\u0440",
     "\u041F\u0440\u0438\u0432\u0435\u0442 \u043C\u0438\u0440."},
    {"\u6771\u4EAC", "\u6771\u4EAC."},
    {"\U0001F600 hello", "\U0001F600 hello."},
    {"hello \U0001F469\u200D\U0001F4BB", "Hello \U0001F469\u200D\U0001F4BB"},
    {"\u00BD", "\u00BD."},
    {"\u01C6ungla", "\u01C4ungla."},
    // The dictionary: whole words, ignoring case, longest key at a position first, in one
    // pass, so a written form is not matched again ("york" stays inside "New York").
    {"JIRA and jira", "Jira and Jira."},
    {"jiraffe", "Jiraffe."},
    {"use node.js or nodexjs", "Use Node.Js or nodexjs."},
    {"the price", "The $1 \\0."},
    {"fly to new york", "Fly to New York."},
    {"from new york to york", "From New York to YORK."},
    {"york new york", "YORK New York."},
    {"i use claude", "I use Claude."},
};

TEST(TextFormatter, GivesTheCleanAndTheExactReading) {
    // The reference dictionary, and keys that overlap it or each other. The empty key
    // would match at every word boundary; it is ignored instead.
    const TextFormatter formatter(TextFormatter::Dictionary{{"jira", "Jira"},
                                                            {"claude code", "Claude Code"},
                                                            {"claude", "Claude"},
                                                            {"node.js", "Node.js"},
                                                            {"price", "$1 \\0"},
                                                            {"", "EMPTY"},
                                                            {"new york", "New York"},
                                                            {"york", "YORK"}});
    for (const auto& [input, expected] : kFormatCases)
        EXPECT_EQ(formatter.format(input), expected) << testing::PrintToString(std::string(input));
    // The exact reading keeps fillers but still tidies.
    const FormatCase exact[] = {{"um hello   world", "Um hello world."},
                                {"this is, uh, a test", "This is, uh, a test."},
                                {"um um um", "Um um um."},
                                {"jira new line done", "Jira\nDone."},
                                {"   ", ""}};
    for (const auto& [input, expected] : exact) EXPECT_EQ(formatter.formatExact(input), expected) << input;
    EXPECT_EQ(TextFormatter().applyDictionary("left alone"), "left alone");
}

// The passes that do their work by hand must give exactly what their patterns, or their
// general paths, give.
constexpr const char* kEllipsisStandIn = "\uFDD0";  // a noncharacter, absent from the inputs

std::string tidyByPatterns(const std::string& text) {
    std::string result = unicode::replaceAll(text, "[ \\t]+", " ");
    result = unicode::replaceAll(result, " +([,.;:!?])", "$1");
    // An ellipsis acts as one mark: stand-in characters keep it whole through the step.
    result = unicode::replaceAll(result, "\\.{3,}", kEllipsisStandIn);
    result = unicode::replaceAll(result, std::string("([,.;:!?") + kEllipsisStandIn + "])[,.]", "$1");
    result = unicode::replaceAllLiteral(result, kEllipsisStandIn, "...");
    std::string lines;
    size_t start = 0;
    while (true) {
        const size_t end = result.find('\n', start);
        lines += unicode::trimHorizontalWhitespace(result.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        lines += '\n';
        start = end + 1;
    }
    return unicode::trimWhitespaceAndNewlines(unicode::replaceAll(lines, "\\n{3,}", "\n\n"));
}

std::string asciiText(test::RandomInput& random, size_t maxPieces) {
    static constexpr const char* pieces[] = {
        "a",     "b. c",     "new",   "line",  "New Line", "newline",   "x",
        " ",     "  ",       "\t",    "\n",    "\n\n\n",   "\r\n",      "\r",
        "\v",    "\f",       ",",     ".",     "!.",       "?,",        ";",
        ":",     " ,",       " .",    "\"q\"", "'",        "(",         "[",
        "{",     "_",        "42",    "e.g.",  "\x1f",     "paragraph", "new paragraph",
        "y,.,.", "-",        "um",    "UMM",   "uh,",      "er.",       "hmm",
        "Mhm",   "umbrella", "erm,,", "ehm.",  "renew",    "_new line", "...",
        "....",  "s",        "r2",    "lines"};
    std::string out;
    const size_t count = random.below(maxPieces + 1);
    for (size_t i = 0; i < count; ++i) out += random.pick(pieces);
    return out;
}

TEST(TextFormatter, HandWrittenPassesEqualTheirPatterns) {
    test::RandomInput random(99);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = round % 3 == 0   ? random.text(15)
                                 : round % 3 == 1 ? asciiText(random, 20)
                                                  : random.mangledText(10);
        if (text.find(kEllipsisStandIn) == std::string::npos) {
            ASSERT_EQ(TextFormatter::tidyWhitespaceAndPunctuation(text), tidyByPatterns(text)) << text;
        }
        std::string withoutFillers = text;
        for (const std::string& filler : TextFormatter::fillers())
            withoutFillers = unicode::replaceAll(withoutFillers, "(?i)(^|\\s)" + filler + "[,.]?(?=\\s|$)", "$1");
        ASSERT_EQ(TextFormatter::removeFillers(text), withoutFillers) << text;
        // A line ending of "\r\n" sends plain ASCII through the general, cluster-by-cluster
        // path; the fast path must agree with it.
        if (std::ranges::all_of(text, [](unsigned char c) { return c < 0x80; }) &&
            text.find("\r\n") == std::string::npos) {
            ASSERT_EQ(TextFormatter::capitalizeSentences(text + "\r\n"),
                      TextFormatter::capitalizeSentences(text) + "\r\n")
                << text;
        }
        ASSERT_EQ(TextFormatter::applySpokenCommands(text),
                  unicode::replaceAllLiteral(
                      unicode::replaceAllLiteral(
                          text, "(?i)[,.]?\\s*\\bnew paragraph(?![\\p{Alphabetic}\\p{N}])[,.]?\\s*", "\n\n"),
                      "(?i)[,.]?\\s*\\bnew ?line(?![\\p{Alphabetic}\\p{N}])[,.]?\\s*", "\n"))
            << text;
    }
}

// Spoken commands around long runs of white space, beyond ASCII: the commands' leading
// white space is taken without trying the pattern from every position of the run.
TEST(TextFormatter, LongWhiteSpaceRunsAroundCommands) {
    const std::string run(200'000, ' ');
    EXPECT_EQ(TextFormatter().format("\u00E9t\u00E9" + run + "x" + run + "new line" + run + "y"),
              "\u00C9t\u00E9 x\nY.");
    EXPECT_EQ(TextFormatter().format("caf\u00E9," + std::string(100'000, '\n') + "new paragraph\u3000\u3000next"),
              "Caf\u00E9\n\nNext.");
}

TEST(TextFormatter, DictionaryFileReadsAsEmptyUnlessAnObjectOfStringsOfAnySize) {
    test::ScratchHome home;
    EXPECT_TRUE(TextFormatter::loadDictionary().empty());  // missing
    const std::pair<const char*, std::string> bad[] = {
        {"array", R"([["jira", "Jira"]])"},
        {"non-string value", R"({"jira": "Jira", "n": 1})"},
        {"null value", R"({"jira": null})"},
        {"truncated", R"({"jira": "Ji)"},
        {"empty file", ""},
        {"invalid UTF-8", "{\"jira\": \"J\xFFira\"}"},
        {"string", R"("jira")"},
        {"deep nesting", std::string(200'000, '[') + std::string(200'000, ']')},
        {"garbage", std::string(3 << 20, '{')},
    };
    for (const auto& [name, contents] : bad) {
        home.writeSupportFile("dictionary.json", contents);
        EXPECT_TRUE(TextFormatter::loadDictionary().empty()) << name;
        EXPECT_EQ(home.readSupportFile("dictionary.json"), contents) << "the file is only read: " << name;
    }
    // A byte order mark is allowed, and a huge dictionary still loads and applies.
    home.writeSupportFile("dictionary.json", "\xEF\xBB\xBF{\"jira\": \"Jira\", \"x y\": \"\u00D8\"}");
    EXPECT_EQ(TextFormatter::loadDictionary(), (TextFormatter::Dictionary{{"jira", "Jira"}, {"x y", "\u00D8"}}));
    std::string json = "{";
    for (int i = 0; i < 60'000; ++i) json += "\"word" + std::to_string(i) + "\": \"Word" + std::to_string(i) + "\",";
    home.writeSupportFile("dictionary.json", json + "\"jira\": \"Jira\"}");
    const TextFormatter formatter(TextFormatter::loadDictionary());
    EXPECT_EQ(formatter.dictionary().size(), 60'001u);
    EXPECT_EQ(formatter.format("jira word123 word99999"), "Jira Word123 word99999.");
}

}  // namespace
}  // namespace vesk

#include "text/TextFormatter.h"

#include "core/AppPaths.h"
#include "text/DataFile.h"
#include "text/IcuText.h"
#include "text/JsonDocument.h"
#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"

#include <unicode/brkiter.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vesk {
namespace {

using unicode::Regex;

using icutext::asciiLowered;
using icutext::fromIcu;
using icutext::isAscii;
using icutext::toIcu;
using icutext::validUtf8;

// Periods in a row that make an ellipsis rather than a doubled period.
constexpr size_t kEllipsisPeriods = 3;

bool isMark(char c) { return std::string_view(",.;:!?").find(c) != std::string_view::npos; }

// ASCII's share of the pattern class \s, White_Space.
bool isAsciiSpace(char c) { return (c >= '\t' && c <= '\r') || c == ' '; }

bool isFillerWord(std::string_view token) {
    if (token.size() < 2 || token.size() > 3) return false;
    std::string lowered(token);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return TextFormatter::fillers().contains(lowered);
}

// The filler pattern's work on ASCII text: a filler, with at most one comma or period
// behind it, standing between white space (or the text's ends) goes, and the white
// space in front of it stays. Attempts run left to right as the pattern engine's do.
std::string removeFillersAscii(std::string_view text) {
    const size_t n = text.size();
    // The end of the filler token starting at `q`, or npos.
    const auto fillerFrom = [&](size_t q) {
        size_t r = q;
        while (r < n && !isAsciiSpace(text[r])) ++r;
        const std::string_view token = text.substr(q, r - q);
        if (isFillerWord(token)) return r;
        if (!token.empty() && (token.back() == ',' || token.back() == '.') &&
            isFillerWord(token.substr(0, token.size() - 1)))
            return r;
        return std::string_view::npos;
    };
    std::string out;
    out.reserve(n);
    size_t copied = 0;
    for (size_t p = 0; p < n;) {
        size_t end = p == 0 ? fillerFrom(0) : std::string_view::npos;
        size_t kept = p;  // what the match keeps: nothing, or the white space in front
        if (end == std::string_view::npos && isAsciiSpace(text[p])) {
            end = fillerFrom(p + 1);
            kept = p + 1;
        }
        if (end == std::string_view::npos) {
            ++p;
            continue;
        }
        out.append(text.substr(copied, kept - copied));
        copied = end;
        p = end;
    }
    out.append(text.substr(copied));
    return out;
}

bool isLetter(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_ALPHABETIC); }
bool isNumber(UChar32 c) { return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE; }
bool isWhitespace(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE); }

std::unique_ptr<icu::RegexPattern> compilePattern(const char16_t* pattern) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(pattern, 0, parseError, status));
    if (U_FAILURE(status)) throw std::logic_error("a spoken-command pattern does not compile");
    return compiled;
}

// One spoken command's pattern, "(?i)[,.]?\s*\b" + command + "[,.]?\s*", replaced
// everywhere. The engine finds only the command itself, "\b" and all; the optional comma
// or period and the white space around it are then taken by hand. Left to the engine,
// the leading "\s*" would be tried from every position of a long run of white space,
// which takes time growing with the square of the run.
icu::UnicodeString replaceCommand(const icu::UnicodeString& text, const icu::RegexPattern& command,
                                  const icu::UnicodeString& replacement) {
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(command.matcher(text, status));
    if (U_FAILURE(status)) return text;
    const int32_t length = text.length();
    const auto isCommaOrPeriod = [&](int32_t at) { return text.charAt(at) == u',' || text.charAt(at) == u'.'; };
    icu::UnicodeString out;
    int32_t copied = 0;
    bool replaced = false;
    while (copied < length && matcher->find(copied, status) && U_SUCCESS(status)) {
        int32_t start = matcher->start(status);
        int32_t end = matcher->end(status);
        // Leftmost match: back over white space, then one comma or period, but never
        // into what the previous match took.
        while (start > copied) {
            const int32_t previous = text.moveIndex32(start, -1);
            if (previous < copied || !isWhitespace(text.char32At(previous))) break;
            start = previous;
        }
        if (start > copied && isCommaOrPeriod(start - 1)) --start;
        if (end < length && isCommaOrPeriod(end)) ++end;
        while (end < length && isWhitespace(text.char32At(end))) end = text.moveIndex32(end, 1);
        out.append(text, copied, start - copied).append(replacement);
        copied = end;
        replaced = true;
    }
    if (!replaced) return text;
    out.append(text, copied, length - copied);
    return out;
}

std::unique_ptr<icu::BreakIterator> characterIterator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return nullptr;
    return it;
}

// Every filler in one alternation. Removing one filler leaves the white space (or text
// start) in front of it and the white space (or text end) behind it, so no removal can
// create or destroy a match of another filler: one pass over the alternation gives the
// same text as one pass per word.
const Regex& fillerPattern() {
    static const Regex pattern = [] {
        std::string alternatives;
        for (const std::string& filler : TextFormatter::fillers()) {
            if (!alternatives.empty()) alternatives += '|';
            alternatives += unicode::escapePattern(filler);
        }
        return Regex("(?i)(^|\\s)(?:" + alternatives + ")[,.]?(?=\\s|$)");
    }();
    return pattern;
}

// A grapheme cluster that is exactly one of the given ASCII characters.
bool clusterIsOneOf(const icu::UnicodeString& text, int32_t start, int32_t end, std::u16string_view set) {
    return end - start == 1 && set.find(text.charAt(start)) != std::u16string_view::npos;
}

// The last user-perceived character ends in a letter or a digit: the text wants a period.
bool endsInLetterOrNumber(const std::string& text) {
    if (text.empty()) return false;
    // An ASCII character after another ASCII character is a cluster of its own (or ends
    // "\r\n", which is no letter either way); only then the bytes decide.
    const auto lastByte = static_cast<unsigned char>(text.back());
    if (lastByte < 0x80 && (text.size() == 1 || static_cast<unsigned char>(text[text.size() - 2]) < 0x80))
        return std::isalnum(lastByte) != 0;
    const icu::UnicodeString string = toIcu(text);
    UChar32 first = string.char32At(0);
    if (auto it = characterIterator()) {
        it->setText(string);
        const int32_t last = it->last();
        const int32_t start = it->previous();
        if (start != icu::BreakIterator::DONE && start < last) first = string.char32At(start);
    } else {
        first = string.char32At(string.length() - 1);
    }
    return isLetter(first) || isNumber(first);
}

}  // namespace

const std::set<std::string>& TextFormatter::fillers() {
    static const std::set<std::string> words{"um", "umm", "uh", "uhh", "uhm", "er", "erm", "ehm", "mhm", "hmm"};
    return words;
}

std::string TextFormatter::format(std::string_view text) const { return run(text, true); }
std::string TextFormatter::formatExact(std::string_view text) const { return run(text, false); }

std::string TextFormatter::run(std::string_view text, bool dropFillers) const {
    std::string result = unicode::trimWhitespaceAndNewlines(text);
    if (result.empty()) return result;
    if (dropFillers) result = removeFillers(result);
    result = applySpokenCommands(result);
    result = applyDictionary(result);
    result = tidyWhitespaceAndPunctuation(result);
    result = capitalizeSentences(result);
    if (endsInLetterOrNumber(result)) result += '.';
    return result;
}

std::string TextFormatter::removeFillers(std::string_view text) {
    if (isAscii(text)) return removeFillersAscii(text);
    return fillerPattern().replaceAll(text, "$1");
}

std::string TextFormatter::applySpokenCommands(std::string_view text) {
    // A command ends where the word ends: "new lines" or "new liner" are words, not commands.
    static const auto paragraph = compilePattern(u"(?i)\\bnew paragraph(?![\\p{Alphabetic}\\p{N}])");
    static const auto line = compilePattern(u"(?i)\\bnew ?line(?![\\p{Alphabetic}\\p{N}])");
    // Both commands contain "new", and whatever the patterns match ignoring case folds
    // to text containing "new": without it there is nothing to do.
    const std::string foldedText = isAscii(text) ? asciiLowered(text) : unicode::foldCase(text);
    if (foldedText.find("new") == std::string::npos) return validUtf8(text);
    const icu::UnicodeString paragraphs = replaceCommand(toIcu(text), *paragraph, u"\n\n");
    return fromIcu(replaceCommand(paragraphs, *line, u"\n"));
}

std::string TextFormatter::applyDictionary(std::string_view text) const {
    if (dictionary_.empty()) return std::string(text);
    struct Entry {
        size_t length;
        WholeWordRule rule;
    };
    std::vector<Entry> entries;
    entries.reserve(dictionary_.size());
    for (const auto& [key, value] : dictionary_) entries.push_back({characterCount(key), {key, value}});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.length > b.length; });
    std::vector<WholeWordRule> rules;
    rules.reserve(entries.size());
    for (Entry& entry : entries) rules.push_back(std::move(entry.rule));
    return replaceWholeWordsInOnePass(text, rules);
}

std::string TextFormatter::tidyWhitespaceAndPunctuation(std::string_view input) {
    // Every step looks at ASCII bytes only, which never occur inside a multi-byte UTF-8
    // sequence, so the steps work on bytes.
    const std::string text = validUtf8(input);

    // Runs of spaces and tabs become one space.
    std::string spaced;
    spaced.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\t') {
            spaced += text[i];
            continue;
        }
        spaced += ' ';
        while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
    }

    // Spaces in front of a mark go (after the step above, at most one).
    std::string marked;
    marked.reserve(spaced.size());
    for (size_t i = 0; i < spaced.size(); ++i) {
        if (spaced[i] == ' ' && i + 1 < spaced.size() && isMark(spaced[i + 1])) continue;
        marked += spaced[i];
    }

    // A comma or period right behind a mark is dropped; scanning on after the pair, as
    // a left-to-right replacement does. A run of three or more periods is an ellipsis:
    // it is written as three periods, counts as one mark, and is never dropped itself.
    const auto periodRun = [&](size_t at) {
        size_t end = at;
        while (end < marked.size() && marked[end] == '.') ++end;
        return end - at;
    };
    std::string unmarked;
    unmarked.reserve(marked.size());
    for (size_t i = 0; i < marked.size(); ++i) {
        if (const size_t run = periodRun(i); run >= kEllipsisPeriods) {
            unmarked += "...";
            i += run - 1;
        } else {
            unmarked += marked[i];
        }
        if (!isMark(marked[i]) || i + 1 >= marked.size()) continue;
        if (marked[i + 1] == ',' || (marked[i + 1] == '.' && periodRun(i + 1) < kEllipsisPeriods)) ++i;
    }

    // Each line trimmed of horizontal white space, and at most one empty line in a row.
    std::string lines;
    lines.reserve(unmarked.size());
    size_t start = 0;
    int lineFeeds = 0;
    while (true) {
        const size_t end = unmarked.find('\n', start);
        const std::string line =
            unicode::trimHorizontalWhitespace(std::string_view(unmarked).substr(start, end - start));
        if (!line.empty() || end == std::string::npos) {
            lines.append(static_cast<size_t>(std::min(lineFeeds, 2)), '\n');
            lineFeeds = 0;
            lines += line;
        }
        if (end == std::string::npos) break;
        ++lineFeeds;
        start = end + 1;
    }
    return unicode::trimWhitespaceAndNewlines(lines);
}

namespace {

// Plain ASCII without "\r\n" is one cluster per byte, and ASCII's letters, white space
// and case mapping are the familiar ones.
std::string capitalizeAscii(std::string_view text) {
    std::string out(text);
    bool capitalizeNext = true;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (capitalizeNext && std::isalpha(byte)) {
            c = static_cast<char>(std::toupper(byte));
            capitalizeNext = false;
        } else if (c == '.' || c == '!' || c == '?' || c == '\n') {
            capitalizeNext = true;
        } else if ((c >= '\t' && c <= '\r') || c == ' ' || c == '"' || c == '\'' || c == '(' || c == '[' || c == '{') {
            // White space and opening quotes or brackets keep the sentence start pending.
        } else {
            capitalizeNext = false;
        }
    }
    return out;
}

}  // namespace

std::string TextFormatter::capitalizeSentences(std::string_view text) {
    if (text.empty()) return std::string(text);
    if (isAscii(text) && text.find("\r\n") == std::string_view::npos) return capitalizeAscii(text);
    const icu::UnicodeString string = toIcu(text);
    const auto it = characterIterator();
    if (!it) return std::string(text);
    it->setText(string);

    icu::UnicodeString out;
    bool capitalizeNext = true;
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        const UChar32 first = string.char32At(start);
        if (capitalizeNext && isLetter(first)) {
            icu::UnicodeString cluster(string, start, end - start);
            out.append(cluster.toUpper(icu::Locale::getRoot()));
            capitalizeNext = false;
            continue;
        }
        out.append(string, start, end - start);
        if (clusterIsOneOf(string, start, end, u".!?\n")) {
            capitalizeNext = true;
        } else if (isWhitespace(first) || clusterIsOneOf(string, start, end, u"\"'([{")) {
            // White space and opening quotes or brackets keep the sentence start pending.
        } else {
            capitalizeNext = false;
        }
    }
    return fromIcu(out);
}

std::filesystem::path TextFormatter::dictionaryPath() { return AppPaths::supportDirectory() / "dictionary.json"; }

TextFormatter::Dictionary TextFormatter::loadDictionary() { return loadDictionary(dictionaryPath()); }

TextFormatter::Dictionary TextFormatter::loadDictionary(const std::filesystem::path& path) {
    const auto bytes = DataFile::read(path);
    return bytes ? decodeDictionary(*bytes) : Dictionary{};
}

TextFormatter::Dictionary TextFormatter::decodeDictionary(std::string_view json) {
    const auto parsed = parseJsonDocument(json, 1);
    if (!parsed || !parsed->is_object()) return {};
    const nlohmann::json& document = *parsed;
    Dictionary dictionary;
    for (const auto& [key, value] : document.items()) {
        if (!value.is_string()) return {};
        dictionary.emplace(key, value.get<std::string>());
    }
    return dictionary;
}

bool TextFormatter::runSelfTest() {
    return runSelfTest([](const std::string& line) {
        const std::string block = line + '\n';
        std::fwrite(block.data(), 1, block.size(), stdout);
        std::fflush(stdout);
    });
}

bool TextFormatter::runSelfTest(const std::function<void(const std::string&)>& printLine) {
    struct Case {
        const char* input;
        const char* expected;
    };
    static constexpr Case cases[] = {
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
    };
    const TextFormatter formatter(Dictionary{{"jira", "Jira"}, {"claude code", "Claude Code"}});
    bool allPassed = true;
    for (const Case& c : cases) {
        const std::string output = formatter.format(c.input);
        const bool passed = output == c.expected;
        allPassed = allPassed && passed;
        std::string line = std::string(passed ? "PASS" : "FAIL") + ": \"" + c.input + "\" -> \"" + output + "\"";
        if (!passed) line += std::string(" (expected \"") + c.expected + "\")";
        printLine(line);
    }
    const bool exactPassed = formatter.formatExact("um hello   world") == "Um hello world.";
    allPassed = allPassed && exactPassed;
    printLine(std::string(exactPassed ? "PASS" : "FAIL") + ": exact formatting preserves filler");
    return allPassed;
}

}  // namespace vesk

#include "text/TextFormatter.h"

#include "app/AppPaths.h"
#include "app/AtomicFile.h"
#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"

#include <nlohmann/json.hpp>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace vesk {
namespace {

using unicode::Regex;

icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string fromIcu(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isLetter(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_ALPHABETIC); }
bool isNumber(UChar32 c) { return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE; }
bool isWhitespace(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE); }

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

std::string TextFormatter::removeFillers(std::string_view text) { return fillerPattern().replaceAll(text, "$1"); }

std::string TextFormatter::applySpokenCommands(std::string_view text) {
    static const Regex paragraph("(?i)[,.]?\\s*\\bnew paragraph[,.]?\\s*");
    static const Regex line("(?i)[,.]?\\s*\\bnew ?line[,.]?\\s*");
    return line.replaceAllLiteral(paragraph.replaceAllLiteral(text, "\n\n"), "\n");
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
    return replaceWholeWords(text, rules);
}

std::string TextFormatter::tidyWhitespaceAndPunctuation(std::string_view text) {
    static const Regex spaceRuns("[ \\t]+");
    static const Regex spaceBeforeMark(" +([,.;:!?])");
    static const Regex markAfterMark("([,.;:!?])[,.]");
    static const Regex blankLineRuns("\\n{3,}");

    std::string result = spaceRuns.replaceAll(text, " ");
    result = spaceBeforeMark.replaceAll(result, "$1");
    result = markAfterMark.replaceAll(result, "$1");

    std::string lines;
    lines.reserve(result.size());
    size_t start = 0;
    while (true) {
        const size_t end = result.find('\n', start);
        lines += unicode::trimHorizontalWhitespace(std::string_view(result).substr(start, end - start));
        if (end == std::string::npos) break;
        lines += '\n';
        start = end + 1;
    }
    return unicode::trimWhitespaceAndNewlines(blankLineRuns.replaceAll(lines, "\n\n"));
}

std::string TextFormatter::capitalizeSentences(std::string_view text) {
    if (text.empty()) return std::string(text);
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
    const auto bytes = AtomicFile::read(path);
    return bytes ? decodeDictionary(*bytes) : Dictionary{};
}

TextFormatter::Dictionary TextFormatter::decodeDictionary(std::string_view json) {
    const auto document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded() || !document.is_object()) return {};
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

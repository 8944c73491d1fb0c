#include "text/LearnedStore.h"

#include "core/AppPaths.h"
#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/Uuid.h"
#include "text/DataFile.h"
#include "text/JsonDocument.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"
#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_set>

namespace vesk::LearnedStore {
namespace {

// The word diff keeps a table of one counter per pair of differing words; past this
// size (two texts of roughly 2,800 differing words each) it gives up and finds nothing
// rather than exhaust memory.
constexpr std::size_t kMaxDiffCells = 8'000'000;

constexpr std::string_view kEdgeMarks = ".,!?;:";

std::string trimEdgeMarks(std::string_view text) {
    const size_t first = text.find_first_not_of(kEdgeMarks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(kEdgeMarks);
    return std::string(text.substr(first, last - first + 1));
}

struct Token {
    std::string raw;
    std::string key;
};

// Splits at white-space characters; the key is the word lower-cased and stripped of
// punctuation at both ends, so "Bjorn." and "bjorn" compare equal.
std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    std::string word;
    const auto flush = [&] {
        if (word.empty()) return;
        tokens.push_back({word, unicode::trimPunctuation(unicode::toLower(word))});
        word.clear();
    };
    for (const std::string& character : unicode::graphemes(text)) {
        if (unicode::isWhitespace(character)) {
            flush();
        } else {
            word += character;
        }
    }
    flush();
    return tokens;
}

std::string joinWords(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) {
        if (!joined.empty()) joined += ' ';
        joined += word;
    }
    return trimEdgeMarks(unicode::trimWhitespaceAndNewlines(joined));
}

void printToStandardOutput(const std::string& line) {
    const std::string block = line + '\n';
    std::fwrite(block.data(), 1, block.size(), stdout);
    std::fflush(stdout);
}

std::string quotedPairs(const std::vector<CorrectionPair>& pairs) {
    std::string text = "[";
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0) text += ", ";
        text += "(heard: \"" + pairs[i].heard + "\", intended: \"" + pairs[i].intended + "\")";
    }
    return text + "]";
}

}  // namespace

std::filesystem::path filePath() { return AppPaths::supportDirectory() / "learned.json"; }

std::optional<LearnedData> decode(std::string_view json) {
    const auto parsed = parseJsonDocument(json, 3);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const nlohmann::json& document = *parsed;
    const auto corrections = document.find("corrections");
    const auto terms = document.find("terms");
    if (corrections == document.end() || terms == document.end()) return std::nullopt;
    if (!corrections->is_array() || !terms->is_array()) return std::nullopt;

    LearnedData data;
    data.corrections.reserve(corrections->size());
    for (const auto& item : *corrections) {
        if (!item.is_object()) return std::nullopt;
        const auto id = item.find("id");
        const auto heard = item.find("heard");
        const auto intended = item.find("intended");
        const auto timesSeen = item.find("timesSeen");
        if (id == item.end() || heard == item.end() || intended == item.end() || timesSeen == item.end())
            return std::nullopt;
        if (!id->is_string() || !heard->is_string() || !intended->is_string() || !timesSeen->is_number_integer())
            return std::nullopt;
        if (timesSeen->is_number_unsigned() &&
            timesSeen->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        LearnedCorrection correction;
        if (!readUuid(id->get<std::string>(), &correction.id)) return std::nullopt;
        correction.heard = heard->get<std::string>();
        correction.intended = intended->get<std::string>();
        correction.timesSeen = timesSeen->get<std::int64_t>();
        data.corrections.push_back(std::move(correction));
    }
    data.terms.reserve(terms->size());
    for (const auto& term : *terms) {
        if (!term.is_string()) return std::nullopt;
        data.terms.push_back(term.get<std::string>());
    }
    return data;
}

std::string encode(const LearnedData& data) {
    auto corrections = nlohmann::json::array();
    for (const LearnedCorrection& correction : data.corrections) {
        std::string id;
        if (!parseUuid(correction.id, &id)) id = makeUuid();
        corrections.push_back({{"id", id},
                               {"heard", correction.heard},
                               {"intended", correction.intended},
                               {"timesSeen", correction.timesSeen}});
    }
    const nlohmann::json document{{"corrections", std::move(corrections)}, {"terms", data.terms}};
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<LearnedData> load() {
    const auto bytes = DataFile::read(filePath());
    if (!bytes) return std::nullopt;
    return decode(*bytes);
}

bool save(const LearnedData& data) {
    const auto path = filePath();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        // load() has already named a file it could not read.
        const auto bytes = DataFile::read(path, DataFile::Report::quiet);
        if (!bytes || !decode(*bytes)) {
            // What is there could not be read as a learned document. Keep it beside the
            // new file so that nothing the person taught is erased by this save.
            if (!AtomicFile::moveAside(path)) {
                logWarning("Project Vesk did not save learned corrections: the unreadable " + path.string() +
                           " could not be moved aside");
                return false;
            }
        }
    }
    return AtomicFile::write(path, encode(data));
}

std::string apply(std::string_view text) {
    const auto data = load();
    if (!data || data->corrections.empty()) return std::string(text);
    return apply(text, *data);
}

std::string apply(std::string_view text, const LearnedData& data) {
    if (data.corrections.empty()) return std::string(text);
    std::vector<std::pair<size_t, const LearnedCorrection*>> ordered;
    ordered.reserve(data.corrections.size());
    for (const LearnedCorrection& correction : data.corrections)
        ordered.emplace_back(characterCount(correction.heard), &correction);
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<WholeWordRule> rules;
    rules.reserve(ordered.size());
    for (const auto& [length, correction] : ordered) rules.push_back({correction->heard, correction->intended});
    return replaceWholeWords(text, rules);
}

std::vector<std::string> biasTerms() {
    std::vector<std::string> candidates;
    if (const auto data = load()) {
        candidates = data->terms;
        for (const LearnedCorrection& correction : data->corrections) candidates.push_back(correction.intended);
    }
    for (const auto& [heard, written] : TextFormatter::loadDictionary()) candidates.push_back(written);
    if (const auto snippets = SnippetStore::load()) {
        for (const Snippet& snippet : *snippets) candidates.push_back(snippet.trigger);
    }

    std::vector<std::string> terms;
    std::unordered_set<std::string> taken;
    for (const std::string& candidate : candidates) {
        if (terms.size() == kMaxBiasTerms) break;
        std::string term = unicode::trimWhitespaceAndNewlines(candidate);
        if (characterCount(term) < 2) continue;
        if (!taken.insert(unicode::toLower(term)).second) continue;
        terms.push_back(std::move(term));
    }
    return terms;
}

bool isUsefulMapping(std::string_view heard, std::string_view intended) {
    return characterCount(heard) >= 2 && !intended.empty() && unicode::toLower(heard) != unicode::toLower(intended);
}

void appendTerm(std::string_view term, LearnedData& data) {
    if (term.empty()) return;
    const std::string lowered = unicode::toLower(term);
    for (const std::string& existing : data.terms) {
        if (unicode::toLower(existing) == lowered) return;
    }
    data.terms.emplace_back(term);
    if (data.terms.size() > kMaxTerms)
        data.terms.erase(data.terms.begin(), data.terms.end() - static_cast<std::ptrdiff_t>(kMaxTerms));
}

void addTerm(std::string_view term) {
    const std::string trimmed = unicode::trimWhitespaceAndNewlines(term);
    if (trimmed.empty()) return;
    LearnedData data = load().value_or(LearnedData{});
    appendTerm(trimmed, data);
    save(data);
}

void add(std::string_view heard, std::string_view intended) {
    const std::string heardForm = trimEdgeMarks(unicode::trimWhitespaceAndNewlines(heard));
    const std::string intendedForm = unicode::trimWhitespaceAndNewlines(intended);
    if (!isUsefulMapping(heardForm, intendedForm)) {
        addTerm(intendedForm);
        return;
    }

    LearnedData data = load().value_or(LearnedData{});
    const std::string heardFolded = unicode::foldCase(heardForm);
    const auto existing = std::find_if(data.corrections.begin(), data.corrections.end(), [&](const auto& c) {
        return c.intended == intendedForm && unicode::foldCase(c.heard) == heardFolded;
    });
    if (existing != data.corrections.end()) {
        // A hand-edited count at the very top stays there instead of wrapping around.
        if (existing->timesSeen < std::numeric_limits<std::int64_t>::max()) ++existing->timesSeen;
    } else {
        data.corrections.push_back({makeUuid(), heardForm, intendedForm, 1});
    }
    if (data.corrections.size() > kMaxCorrections)
        data.corrections.erase(data.corrections.begin(),
                               data.corrections.end() - static_cast<std::ptrdiff_t>(kMaxCorrections));
    appendTerm(intendedForm, data);
    save(data);
}

std::vector<CorrectionPair> extractCorrections(std::string_view original, std::string_view corrected) {
    const std::vector<Token> a = tokenize(original);
    const std::vector<Token> b = tokenize(corrected);
    std::vector<CorrectionPair> result;
    const size_t n = a.size();
    const size_t m = b.size();
    if (n == 0 || m == 0) return result;

    // The walk below passes over the common beginning without looking at the table, so
    // the table only needs to cover what follows it.
    size_t offset = 0;
    while (offset < n && offset < m && a[offset].key == b[offset].key) ++offset;
    if (offset == n || offset == m) return result;

    const size_t rows = n - offset + 1;
    const size_t columns = m - offset + 1;
    if (rows > kMaxDiffCells / columns) return result;
    std::vector<std::uint32_t> table(rows * columns, 0);
    const auto L = [&](size_t i, size_t j) -> std::uint32_t& { return table[(i - offset) * columns + (j - offset)]; };
    for (size_t i = n; i-- > offset;) {
        for (size_t j = m; j-- > offset;) {
            L(i, j) = a[i].key == b[j].key ? L(i + 1, j + 1) + 1 : std::max(L(i + 1, j), L(i, j + 1));
        }
    }

    size_t i = offset;
    size_t j = offset;
    while (true) {
        while (i < n && j < m && a[i].key == b[j].key) {
            ++i;
            ++j;
        }
        if (i == n || j == m) return result;

        std::vector<std::string> heardWords;
        std::vector<std::string> intendedWords;
        if (L(i, j) == 0) {
            for (; i < n; ++i) heardWords.push_back(a[i].raw);
            for (; j < m; ++j) intendedWords.push_back(b[j].raw);
        } else {
            while (i < n && j < m && a[i].key != b[j].key) {
                if (L(i + 1, j) >= L(i, j + 1)) {
                    heardWords.push_back(a[i].raw);
                    ++i;
                } else {
                    intendedWords.push_back(b[j].raw);
                    ++j;
                }
            }
        }

        const bool shortRuns =
            !heardWords.empty() && heardWords.size() <= 4 && !intendedWords.empty() && intendedWords.size() <= 4;
        if (shortRuns) {
            CorrectionPair pair{joinWords(heardWords), joinWords(intendedWords)};
            if (isUsefulMapping(pair.heard, pair.intended)) result.push_back(std::move(pair));
        }
        if (i == n) return result;
    }
}

bool runSelfTest() { return runSelfTest(printToStandardOutput); }

bool runSelfTest(const std::function<void(const std::string&)>& printLine) {
    struct Case {
        const char* original;
        const char* corrected;
        std::vector<CorrectionPair> expected;
    };
    const Case cases[] = {
        {"Send it to Bjorn today.", "Send it to Bj\u00F8rn today.", {{"Bjorn", "Bj\u00F8rn"}}},
        {"The data base pipeline is fast.", "The Database pipeline is fast.", {{"data base", "Database"}}},
        {"Hello world.", "Hello world.", {}},
        {"I met bj orn and Anna.", "I met Bj\u00F8rn and Anna.", {{"bj orn", "Bj\u00F8rn"}}},
        {"Send 5 files to Bjorn.", "Send 5 files to Bj\u00F8rn.", {{"Bjorn", "Bj\u00F8rn"}}},
    };
    bool allPassed = true;
    for (const Case& c : cases) {
        const auto found = extractCorrections(c.original, c.corrected);
        const bool passed = found == c.expected;
        allPassed = allPassed && passed;
        printLine(std::string(passed ? "PASS" : "FAIL") + ": diff(\"" + c.original + "\" \u2192 \"" + c.corrected +
                  "\") = " + quotedPairs(found));
    }
    return allPassed;
}

}  // namespace vesk::LearnedStore

#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace vesk {

// Turns raw recognizer text into tidy written text by fixed rules: no model, no state
// beyond the person's replacement dictionary. `format` is the clean reading (hesitation
// fillers dropped), `formatExact` keeps every spoken word. Both turn "new line" and "new
// paragraph" into line breaks, apply the dictionary, tidy spaces and punctuation,
// capitalize sentence starts and end with a period after a final letter or digit.
//
// Pure and thread-safe; the compiled patterns are shared, immutable statics.
class TextFormatter {
public:
    // Heard form (as the recognizer writes it) to written form, e.g. "jira" -> "Jira".
    using Dictionary = std::map<std::string, std::string>;

    TextFormatter() = default;
    explicit TextFormatter(Dictionary dictionary) : dictionary_(std::move(dictionary)) {}

    const Dictionary& dictionary() const { return dictionary_; }

    std::string format(std::string_view text) const;
    std::string formatExact(std::string_view text) const;

    // The passes, in the order both entry points run them (removeFillers in `format` only).
    static std::string removeFillers(std::string_view text);
    static std::string applySpokenCommands(std::string_view text);
    // Whole words, case-insensitive, values inserted as written, in one left-to-right pass
    // over the text: at each position the longest key wins ("claude code" over a "claude"
    // entry inside it; equal lengths keep key order), and a written form is never matched
    // again by another key ({"new york": "New York", "york": "YORK"} leaves "New York").
    std::string applyDictionary(std::string_view text) const;
    static std::string tidyWhitespaceAndPunctuation(std::string_view text);
    static std::string capitalizeSentences(std::string_view text);

    // The ten hesitation words, lower case.
    static const std::set<std::string>& fillers();

    // "dictionary.json" in the support directory.
    static std::filesystem::path dictionaryPath();
    // The person's dictionary, read afresh. A missing or unreadable file (DataFile::read:
    // not a regular file, over 16 MB), or one that is not a JSON object whose values are
    // all strings, gives an empty dictionary.
    static Dictionary loadDictionary();
    static Dictionary loadDictionary(const std::filesystem::path& path);
    static Dictionary decodeDictionary(std::string_view json);

    // The built-in check: one line per case on `printLine` (standard output by default);
    // true when every case passed.
    static bool runSelfTest();
    static bool runSelfTest(const std::function<void(const std::string&)>& printLine);

private:
    std::string run(std::string_view text, bool dropFillers) const;

    Dictionary dictionary_;
};

}  // namespace vesk

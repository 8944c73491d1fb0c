#include "support/RandomInput.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace vesk::test {
namespace {

constexpr const char* kPlainWords[] = {
    "hello", "world",     "the",       "a",    "ticket", "in",   "jira",    "today",    "claude",    "code",     "new",
    "line",  "paragraph", "newline",   "send", "it",     "to",   "Bjorn",   "data",     "base",      "my",       "sig",
    "addr",  "home",      "version",   "3.5",  "e.g.",   "i",    "OK",      "umbrella", "error",     "hmmm",     "New",
    "LINE",  "York",      "new york",  "42",   "$1",     "\\1",  "(hello)", "[note]",   "\"quote\"", "'single'", "x",
    "I'm",   "don't",     "data-base", "C++",  "a.b",    "#tag", "|",       "^",        "$",
};
constexpr const char* kFillers[] = {"um", "umm", "uh", "uhh", "uhm", "er", "erm", "ehm", "mhm", "hmm", "UM", "Uh"};
constexpr const char* kUnicodeWords[] = {
    "Bj\u00F8rn",   // ø
    "stra\u00DFe",  // ß, upper-cases to SS
    "STRASSE",
    "\u1E9E",      // capital sharp s
    "cafe\u0301",  // e with a combining acute
    "caf\u00E9",
    "\u00E9cole",
    "\U0001F600",                            // emoji
    "\U0001F469\u200D\U0001F4BB",            // emoji sequence
    "\U0001F44D\U0001F3FD",                  // emoji with a skin tone
    "\u043F\u0440\u0438\u0432\u0435\u0442",  // Cyrillic
    "\u03C3\u03BF\u03C6\u03CC\u03C2",        // Greek with a final sigma
    "\u6771\u4EAC",                          // CJK
    "\u0645\u0631\u062D\u0628\u0627",        // Arabic
    "\u0130stanbul",                         // dotted capital I
    "\u0131",                                // dotless i
    "\u212A",                                // Kelvin sign
    "\uFB00",                                // ff ligature
    "\u01C6",                                // dz digraph
    "\u0390",                                // iota with dialytika and tonos
    "\u1F80",                                // alpha with psili and ypogegrammeni
    "\u0BA8\u0BBF",                          // Tamil syllable
    "\u00BD",                                // vulgar fraction, a number
    "\u0663",                                // Arabic-Indic digit three
};
constexpr const char* kSeparators[] = {
    " ",  " ",  " ",  " ",  "  ", "\t",  "\n", "\n\n", "\n\n\n\n", " \n ", "\u00A0", "\u3000", "\u2028", ", ",
    ". ", "! ", "? ", ": ", "; ", " , ", " .", ",",    ".",        "..",   ",.",     "!.",     " \t ",   "\r\n",
};
constexpr const char* kMalformed[] = {
    "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xC0\xAF", "\xED\xA0\x80", "\x80\x80", "\xF8\x88\x80\x80\x80", "\xFE",
};

}  // namespace

std::size_t RandomInput::below(std::size_t bound) {
    if (bound == 0) return 0;
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(engine_);
}

bool RandomInput::chance(double probability) { return std::bernoulli_distribution(probability)(engine_); }

std::string RandomInput::word() {
    switch (below(10)) {
        case 0:
        case 1: return pick(kFillers);
        case 2:
        case 3:
        case 4: return pick(kUnicodeWords);
        default: return pick(kPlainWords);
    }
}

std::string RandomInput::separator() { return pick(kSeparators); }

std::string RandomInput::text(std::size_t maxWords) {
    std::string out;
    if (chance(0.2)) out += separator();
    const std::size_t count = below(maxWords + 1);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += separator();
        out += word();
    }
    if (chance(0.3)) out += separator();
    return out;
}

std::string RandomInput::bytes(std::size_t maxLength) {
    std::string out(below(maxLength + 1), '\0');
    for (char& c : out) c = static_cast<char>(below(256));
    return out;
}

std::string RandomInput::mangledText(std::size_t maxWords) {
    std::string out = text(maxWords);
    const std::size_t insertions = 1 + below(3);
    for (std::size_t i = 0; i < insertions; ++i) out.insert(below(out.size() + 1), pick(kMalformed));
    return out;
}

std::string RandomInput::uuid(bool upperCase) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
        char digit = kHex[below(16)];
        if (i == 12) digit = '4';
        if (i == 16) digit = kHex[8 + below(4)];
        out += upperCase ? digit : static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    }
    return out;
}

std::string RandomInput::anyJson(int maxDepth) {
    const std::size_t kind = below(maxDepth > 0 ? 8 : 6);
    switch (kind) {
        case 0: return "null";
        case 1: return chance(0.5) ? "true" : "false";
        case 2: return std::to_string(static_cast<long long>(engine_()) >> below(64));
        case 3: return chance(0.5) ? "1.5" : "-0.0e3";
        case 4:
        case 5: return nlohmann::json(text(4)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        case 6: {
            std::string out = "[";
            const std::size_t count = below(4);
            for (std::size_t i = 0; i < count; ++i) out += (i ? "," : "") + anyJson(maxDepth - 1);
            return out + "]";
        }
        default: {
            std::string out = "{";
            const std::size_t count = below(4);
            for (std::size_t i = 0; i < count; ++i) {
                out += (i ? "," : "");
                out += nlohmann::json(word()).dump() + ":" + anyJson(maxDepth - 1);
            }
            return out + "}";
        }
    }
}

std::string RandomInput::dictionaryJson(std::size_t maxEntries) {
    nlohmann::json document = nlohmann::json::object();
    const std::size_t count = below(maxEntries + 1);
    for (std::size_t i = 0; i < count; ++i) {
        std::string key = chance(0.7) ? word() : word() + " " + word();
        document[key] = chance(0.05) ? nlohmann::json::parse(anyJson(1)) : nlohmann::json(text(3));
    }
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RandomInput::learnedJson(std::size_t maxCorrections, std::size_t maxTerms) {
    nlohmann::json corrections = nlohmann::json::array();
    const std::size_t count = below(maxCorrections + 1);
    for (std::size_t i = 0; i < count; ++i) {
        nlohmann::json correction{{"id", uuid(chance(0.8))},
                                  {"heard", chance(0.6) ? word() : word() + " " + word()},
                                  {"intended", text(2)},
                                  {"timesSeen", static_cast<long long>(below(5))}};
        if (chance(0.02)) correction.erase(pick({"id", "heard", "intended", "timesSeen"}));
        if (chance(0.02)) correction["timesSeen"] = "3";
        if (chance(0.02)) correction["id"] = "not-a-uuid";
        if (chance(0.01)) correction["heard"] = nullptr;
        corrections.push_back(std::move(correction));
    }
    nlohmann::json terms = nlohmann::json::array();
    const std::size_t termCount = below(maxTerms + 1);
    for (std::size_t i = 0; i < termCount; ++i)
        terms.push_back(chance(0.02) ? nlohmann::json(7) : nlohmann::json(word()));
    nlohmann::json document{{"corrections", std::move(corrections)}, {"terms", std::move(terms)}};
    if (chance(0.03)) document.erase(chance(0.5) ? "terms" : "corrections");
    if (chance(0.02)) document["extra"] = "ignored";
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RandomInput::snippetsJson(std::size_t maxSnippets) {
    nlohmann::json document = nlohmann::json::array();
    const std::size_t count = below(maxSnippets + 1);
    for (std::size_t i = 0; i < count; ++i) {
        nlohmann::json snippet{{"id", uuid(chance(0.8))},
                               {"trigger", chance(0.1) ? std::string(" ") : (chance(0.5) ? word() : text(2))},
                               {"expansion", text(4)}};
        if (chance(0.02)) snippet.erase("expansion");
        if (chance(0.02)) snippet["trigger"] = 12;
        document.push_back(std::move(snippet));
    }
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RandomInput::damage(std::string document) {
    switch (below(6)) {
        case 0: document.resize(below(document.size() + 1)); break;
        case 1:
            if (!document.empty()) document[below(document.size())] = static_cast<char>(below(256));
            break;
        case 2: document.insert(below(document.size() + 1), 1, pick({'{', '[', '"', ',', ':', '\\', '\0'})); break;
        case 3: document += pick({"]", "}", ",", " garbage", "\xFF"}); break;
        default: break;
    }
    return document;
}

}  // namespace vesk::test

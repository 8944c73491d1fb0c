// The text pipeline as a dictation meets it: a 1,000-word transcript through the
// formatter (with a dictionary), 300 learned corrections and 100 snippets, all read from
// disk on every run, as the product does.
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"
#include "text/TextPipeline.h"
#include "text/Unicode.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

constexpr const char* kSyllables[] = {"ka",  "lo", "mi", "zen", "tor", "vis", "dra", "pel", "qu", "sho",
                                      "rin", "bo", "te", "nax", "ul",  "fy",  "gor", "wen", "ix", "sa"};
constexpr const char* kCommonWords[] = {
    "the",  "a",     "and",    "to", "of",   "we",    "should", "send",  "it",     "today", "please",  "check",
    "that", "build", "ticket", "is", "fast", "with",  "team",   "ready", "review", "this",  "meeting", "notes",
    "data", "for",   "um",     "uh", "so",   "maybe", "next",   "week",  "call",   "about", "jira",    "deploy"};

// A made-up word of two or three syllables: heard forms that a real transcript rarely
// contains by accident, as recognizer mistakes are.
std::string madeUpWord(std::mt19937& random) {
    std::string word;
    const int syllables = 2 + static_cast<int>(random() % 2);
    for (int i = 0; i < syllables; ++i) word += kSyllables[random() % std::size(kSyllables)];
    return word;
}

struct Fixture {
    fs::path root;
    std::string transcript;

    Fixture() {
        std::string pattern = (fs::temp_directory_path() / "vesk-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory");
        root = pattern;
        ::setenv("XDG_DATA_HOME", root.c_str(), 1);
        const fs::path support = root / "ProjectVesk";
        fs::create_directories(support);

        std::mt19937 random(42);
        auto corrections = nlohmann::json::array();
        std::vector<std::string> heard;
        for (int i = 0; i < 300; ++i) {
            heard.push_back(i % 5 == 0 ? madeUpWord(random) + " " + madeUpWord(random) : madeUpWord(random));
            corrections.push_back({{"id", "6BA7B810-9DAD-41D1-80B4-" + std::to_string(100000000000 + i)},
                                   {"heard", heard.back()},
                                   {"intended", "Term" + std::to_string(i)},
                                   {"timesSeen", 1 + i % 4}});
        }
        auto terms = nlohmann::json::array();
        for (int i = 0; i < 300; ++i) terms.push_back("Vocabulary" + std::to_string(i));
        std::ofstream(support / "learned.json")
            << nlohmann::json{{"corrections", corrections}, {"terms", terms}}.dump();

        auto snippets = nlohmann::json::array();
        std::vector<std::string> triggers;
        for (int i = 0; i < 100; ++i) {
            triggers.push_back("snip " + madeUpWord(random));
            snippets.push_back({{"id", "6BA7B810-9DAD-41D1-80B4-" + std::to_string(200000000000 + i)},
                                {"trigger", triggers.back()},
                                {"expansion", "Expanded text number " + std::to_string(i) + ", as stored."}});
        }
        std::ofstream(support / "snippets.json") << snippets.dump();
        std::ofstream(support / "dictionary.json")
            << R"({"jira": "Jira", "claude code": "Claude Code", "github": "GitHub", "kubernetes": "Kubernetes"})";

        // 1,000 words: everyday words with fillers and a few spoken commands, 20 heard
        // forms to correct and 3 snippet triggers.
        std::vector<std::string> words;
        while (words.size() < 1000) {
            const unsigned roll = random() % 100;
            if (roll < 2) {
                words.push_back(heard[random() % heard.size()]);
            } else if (roll == 2 && words.size() % 7 == 0) {
                words.push_back(triggers[random() % triggers.size()]);
            } else if (roll == 3) {
                words.push_back("new line");
            } else {
                words.push_back(kCommonWords[random() % std::size(kCommonWords)]);
                if (roll > 92) words.back() += ".";
                if (roll == 90) words.back() += ",";
            }
        }
        for (const std::string& word : words) transcript += word + " ";
    }

    ~Fixture() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void BM_TextPipelineClean(benchmark::State& state) {
    const std::string& transcript = fixture().transcript;
    for (auto _ : state) benchmark::DoNotOptimize(vesk::TextPipeline::clean(transcript));
}
BENCHMARK(BM_TextPipelineClean)->Unit(benchmark::kMicrosecond);

void BM_TextPipelineExact(benchmark::State& state) {
    const std::string& transcript = fixture().transcript;
    for (auto _ : state) benchmark::DoNotOptimize(vesk::TextPipeline::exact(transcript));
}
BENCHMARK(BM_TextPipelineExact)->Unit(benchmark::kMicrosecond);

// The parts, to see where the time goes.
void BM_FormatterOnly(benchmark::State& state) {
    const std::string& transcript = fixture().transcript;
    const vesk::TextFormatter formatter(vesk::TextFormatter::loadDictionary());
    for (auto _ : state) benchmark::DoNotOptimize(formatter.format(transcript));
}
BENCHMARK(BM_FormatterOnly)->Unit(benchmark::kMicrosecond);

void BM_LearnedApplyFromDisk(benchmark::State& state) {
    const std::string formatted = vesk::TextFormatter().format(fixture().transcript);
    for (auto _ : state) benchmark::DoNotOptimize(vesk::LearnedStore::apply(formatted));
}
BENCHMARK(BM_LearnedApplyFromDisk)->Unit(benchmark::kMicrosecond);

void BM_LearnedLoadOnly(benchmark::State& state) {
    fixture();
    for (auto _ : state) benchmark::DoNotOptimize(vesk::LearnedStore::load());
}
BENCHMARK(BM_LearnedLoadOnly)->Unit(benchmark::kMicrosecond);

void BM_SnippetsExpandFromDisk(benchmark::State& state) {
    const std::string formatted = vesk::TextFormatter().format(fixture().transcript);
    for (auto _ : state) benchmark::DoNotOptimize(vesk::SnippetStore::expand(formatted));
}
BENCHMARK(BM_SnippetsExpandFromDisk)->Unit(benchmark::kMicrosecond);

// A pathological text: white space runs of 100,000 characters around a spoken command,
// beyond ASCII. Time must grow with the length, not its square.
void BM_FormatterLongWhiteSpaceRun(benchmark::State& state) {
    const std::string run(static_cast<size_t>(state.range(0)), ' ');
    const std::string text = "\u00E9" + run + "x" + run + "new line" + run + "y";
    const vesk::TextFormatter formatter;
    for (auto _ : state) benchmark::DoNotOptimize(formatter.format(text));
}
BENCHMARK(BM_FormatterLongWhiteSpaceRun)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// What the pipeline costs without the shortcut: every rule compiled and run over the
// whole text. The result is the same; only the time differs.
void BM_CorrectionsWithoutShortcut(benchmark::State& state) {
    const std::string formatted = vesk::TextFormatter().format(fixture().transcript);
    const auto data = vesk::LearnedStore::load().value();
    for (auto _ : state) {
        std::string text = formatted;
        for (const auto& correction : data.corrections)
            text = vesk::unicode::replaceAllLiteral(
                text, "(?i)\\b" + vesk::unicode::escapePattern(correction.heard) + "\\b", correction.intended);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_CorrectionsWithoutShortcut)->Unit(benchmark::kMicrosecond);

}  // namespace

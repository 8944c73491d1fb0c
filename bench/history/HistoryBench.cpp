#include "core/Uuid.h"
#include "history/HistoryOrganizer.h"
#include "history/HistoryStore.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Fifty dictations over a working day: bursts a few minutes apart on a handful of topics,
// with hour-long breaks, so grouping has to compare keywords as well as dates.
std::vector<vesk::HistoryEntry> workingDay() {
    const std::vector<std::string> topics{
        "Draft the release notes for the history workspace and list the fixed bugs",
        "Review the login button color and size on the settings page",
        "Summarize the customer feedback about dictation accuracy in a table",
        "Plan the grocery list for the weekend with a budget of fifty euros",
        "Explain how the waveform renderer handles the notch on small screens",
    };
    std::vector<vesk::HistoryEntry> entries;
    double date = 800000000;
    for (int i = 0; i < 50; ++i) {
        const std::string& topic = topics[static_cast<size_t>(i / 10)];
        const std::string text = topic + ", take " + std::to_string(i) + ". Then email it to Bjørn.";
        entries.push_back({vesk::makeUuid(), "please " + text, text, date, 3.5 + i, vesk::OutputMode::prompt});
        date -= (i % 10 == 9) ? 3600 : 240 + 60 * (i % 3);
    }
    return entries;
}

void BM_ProjectsFromFiftyEntries(benchmark::State& state) {
    const auto entries = workingDay();
    for (auto _ : state) benchmark::DoNotOptimize(vesk::HistoryOrganizer::projects(entries));
}
BENCHMARK(BM_ProjectsFromFiftyEntries)->Unit(benchmark::kMicrosecond);

void BM_DecodeAndEncodeFiftyEntries(benchmark::State& state) {
    const std::string document = vesk::encodeHistory(workingDay());
    for (auto _ : state) benchmark::DoNotOptimize(vesk::encodeHistory(*vesk::decodeHistory(document)));
}
BENCHMARK(BM_DecodeAndEncodeFiftyEntries)->Unit(benchmark::kMicrosecond);

void BM_DecodeFiftyEntries(benchmark::State& state) {
    const std::string document = vesk::encodeHistory(workingDay());
    for (auto _ : state) benchmark::DoNotOptimize(vesk::decodeHistory(document));
}
BENCHMARK(BM_DecodeFiftyEntries)->Unit(benchmark::kMicrosecond);

// Constructing the store reads, decodes and at once rewrites the file (atomically, with
// its flushes), exactly as at start-up.
void BM_LoadAndSaveFiftyEntriesOnDisk(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesk-bench-XXXXXX").string();
    const std::filesystem::path directory = ::mkdtemp(pattern.data());
    const auto file = directory / "history.json";
    {
        vesk::HistoryStore seed(file);
        for (const auto& entry : workingDay()) seed.add(entry);
    }
    for (auto _ : state) {
        vesk::HistoryStore store(file);
        benchmark::DoNotOptimize(store.entries().size());
    }
    std::filesystem::remove_all(directory);
}
BENCHMARK(BM_LoadAndSaveFiftyEntriesOnDisk)->Unit(benchmark::kMicrosecond);

}  // namespace

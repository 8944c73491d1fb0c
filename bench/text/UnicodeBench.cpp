#include "text/Unicode.h"

#include <benchmark/benchmark.h>

namespace {

void BM_GraphemesOfAThousandWords(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "w\u00F6rd ";
    for (auto _ : state) benchmark::DoNotOptimize(vesk::unicode::graphemes(text));
}
BENCHMARK(BM_GraphemesOfAThousandWords);

}  // namespace

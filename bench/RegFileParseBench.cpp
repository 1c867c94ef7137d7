// Parsing time of a settings file against the number of value names in it. Each line names a
// value of its own, so a parser that searched the earlier entries per line would grow with
// the square of the count; the fitted complexity says which it is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "settings/RegFileFormat.h"

using namespace qor;

namespace {

constexpr const char* KeyPath = "Software\\zentrova GmbH\\QOR 7316 Firmware Updater";

// A valid file of `count` DWORD values with distinct names, as a hand-grown store would be.
std::string StoreWithValues(std::size_t count) {
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\";
    text += KeyPath;
    text += "]\n";
    char line[64] = {};
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "\"Value%07zu\"=dword:%08zx\n", i, i);
        text += line;
    }
    return text;
}

void BM_ParseRegFile(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string text = StoreWithValues(count);
    for (auto _ : state) {
        auto entries = ParseRegFile(text, KeyPath);
        if (!entries || entries->size() != count) {
            state.SkipWithError("the file did not parse");
            break;
        }
        benchmark::DoNotOptimize(entries);
    }
    state.SetComplexityN(static_cast<std::int64_t>(count));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
}

} // namespace

// 1,024 to 655,360 names: the largest is the size of the store that once kept the program from
// starting (about 15 MB).
BENCHMARK(BM_ParseRegFile)
    ->RangeMultiplier(4)
    ->Range(1024, 262144)
    ->Arg(655360)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

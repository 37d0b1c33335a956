// Turning a dropped URI list of a million files into entries, as a drop does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "targets/UriList.h"

namespace {

// About 52 bytes a line, as a file manager writes them; every tenth name needs decoding.
std::string MillionLineList()
{
    std::string list;
    list.reserve(53'000'000);
    char line[96];
    for (int i = 0; i < 1'000'000; ++i) {
        const char* space = i % 10 == 0 ? "%20" : "_";
        std::snprintf(line, sizeof line, "file:///home/user/project/src/dir%03d/file%s%06d.cpp\r\n", i % 1000,
                      space, i);
        list += line;
    }
    return list;
}

void BM_MillionLineUriList(benchmark::State& state)
{
    const std::string list = MillionLineList();
    for (auto _ : state) {
        auto entries = rowtick::DroppedTargetsFromUriList(list);
        benchmark::DoNotOptimize(entries.data());
        // The targets live on in the program: freeing them is not part of a drop.
        state.PauseTiming();
        entries = {};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(list.size()));
    state.counters["MB"] = static_cast<double>(list.size()) / 1e6;
}
BENCHMARK(BM_MillionLineUriList)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Reference: only making the million paths from ready strings, on one thread,
// which any drop must do; the ratio to it is what the parsing adds.
void BM_MillionPathsOnly(benchmark::State& state)
{
    std::vector<std::string> names;
    for (int i = 0; i < 1'000'000; ++i)
        names.push_back("/home/user/project/src/dir" + std::to_string(i % 1000) + "/file_" + std::to_string(i) + ".cpp");
    for (auto _ : state) {
        std::vector<std::filesystem::path> paths;
        paths.reserve(names.size());
        for (const std::string& name : names)
            paths.emplace_back(name);
        benchmark::DoNotOptimize(paths.data());
        state.PauseTiming();
        paths = {};
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MillionPathsOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

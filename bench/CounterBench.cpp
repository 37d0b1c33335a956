// Throughput of the line-counting rule over in-memory buffers.
#include <benchmark/benchmark.h>

#include <string>

#include "LineCounter.h"

namespace {

std::string Text(const std::string& lineEnd, std::size_t bytes)
{
    std::string text;
    text.reserve(bytes + 80);
    while (text.size() < bytes) {
        text += "    int value = compute(alpha, beta); // a typical source line";
        text += lineEnd;
    }
    return text;
}

void CountBuffer(benchmark::State& state, const std::string& lineEnd)
{
    const std::string text = Text(lineEnd, 64u << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(rowtick::CountLinesInBuffer(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

}  // namespace

BENCHMARK_CAPTURE(CountBuffer, LF, std::string("\n"));
BENCHMARK_CAPTURE(CountBuffer, CRLF, std::string("\r\n"));
BENCHMARK_CAPTURE(CountBuffer, CR, std::string("\r"));

BENCHMARK_MAIN();

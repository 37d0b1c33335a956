// Throughput of the line-counting rule over in-memory buffers: one size that
// stays in the second-level cache, as a read block does, and one far larger.
#include <benchmark/benchmark.h>

#include <string>

#include "counting/LineCounter.h"

namespace {

constexpr const char* kLine = "    int value = compute(alpha, beta); // a typical source line";

std::string Text(const std::string& lineEnd, std::size_t bytes)
{
    std::string text;
    text.reserve(bytes + 80);
    while (text.size() < bytes) {
        text += kLine;
        text += lineEnd;
    }
    text.resize(bytes);
    return text;
}

std::string Utf16Text(bool bigEndian, std::size_t bytes)
{
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    const std::string line = std::string(kLine) + "\r\n";
    while (text.size() < bytes) {
        for (char c : line) {
            text += bigEndian ? '\0' : c;
            text += bigEndian ? c : '\0';
        }
    }
    text.resize(bytes);
    return text;
}

void Count(benchmark::State& state, const std::string& text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(rowtick::CountLinesInBuffer(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void CountBuffer(benchmark::State& state, const std::string& lineEnd)
{
    Count(state, Text(lineEnd, static_cast<std::size_t>(state.range(0))));
}

void CountUtf16(benchmark::State& state, bool bigEndian)
{
    Count(state, Utf16Text(bigEndian, static_cast<std::size_t>(state.range(0))));
}

// Nothing but line ends: the count must not depend on how dense they are.
void CountDense(benchmark::State& state)
{
    Count(state, std::string(static_cast<std::size_t>(state.range(0)), '\n'));
}

// The stream fed in 256 KiB blocks, as CountLines reads a file.
void FeedBlocks(benchmark::State& state)
{
    const std::string text = Text("\r\n", 64u << 20);
    constexpr std::size_t kBlock = 256u << 10;
    for (auto _ : state) {
        rowtick::LineCounter counter;
        for (std::size_t at = 0; at < text.size(); at += kBlock)
            counter.feed(std::string_view(text).substr(at, kBlock));
        benchmark::DoNotOptimize(counter.lines());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

constexpr std::int64_t kInCache = 256 << 10;
constexpr std::int64_t kLarge = 64 << 20;

}  // namespace

BENCHMARK_CAPTURE(CountBuffer, LF, std::string("\n"))->Arg(kInCache)->Arg(kLarge);
BENCHMARK_CAPTURE(CountBuffer, CRLF, std::string("\r\n"))->Arg(kInCache)->Arg(kLarge);
BENCHMARK_CAPTURE(CountBuffer, CR, std::string("\r"))->Arg(kInCache)->Arg(kLarge);
BENCHMARK_CAPTURE(CountUtf16, LE, false)->Arg(kInCache)->Arg(kLarge);
BENCHMARK_CAPTURE(CountUtf16, BE, true)->Arg(kInCache)->Arg(kLarge);
BENCHMARK(CountDense)->Arg(kInCache);
BENCHMARK(FeedBlocks);

BENCHMARK_MAIN();

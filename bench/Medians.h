// What the measuring tools over a list of paths share: the list, and the
// medians of repeated runs, wall time and processor time (a figure a loaded
// machine disturbs less). POSIX.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace rowtick::bench {

inline double ProcessorSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The paths listed in `file`, one per line, empty lines left out.
inline std::vector<std::string> ListedPaths(const char* file)
{
    std::vector<std::string> paths;
    std::ifstream list(file, std::ios::binary);
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            paths.push_back(std::move(line));
    return paths;
}

// Runs `run` (which returns how many things it did) `repeat` times, and prints
// the median wall seconds, what the last run did, and the median processor
// seconds, on one line.
template <class Run>
void PrintMedians(int repeat, const Run& run)
{
    std::vector<double> seconds;
    std::vector<double> processor;
    std::size_t done = 0;
    for (int r = 0; r < std::max(1, repeat); ++r) {
        const auto start = std::chrono::steady_clock::now();
        const double processorStart = ProcessorSeconds();
        done = run();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        processor.push_back(ProcessorSeconds() - processorStart);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(processor.begin(), processor.end());
    std::printf("%.4f %zu %.4f\n", seconds[seconds.size() / 2], done, processor[processor.size() / 2]);
}

}  // namespace rowtick::bench

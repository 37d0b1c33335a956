// rowtick-progress LIST: the progress bar's figures over a run of the paths
// listed in LIST (one per line), sampled as the window samples them: the job
// started with its sizing pass, and every 15 ms the ready rows taken and the
// bytes read and to read asked. Prints when the bytes to read became known and
// how many rows were done then, and the bar's share when it first reached 20 %
// and the rows done then; with -v, every sample.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "counting/CountingJob.h"

int main(int argc, char** argv)
{
    const bool verbose = argc > 2 && std::strcmp(argv[1], "-v") == 0;
    if (argc < 2 + (verbose ? 1 : 0)) {
        std::fprintf(stderr, "usage: %s [-v] LIST\n", argv[0]);
        return 2;
    }
    std::ifstream list(argv[verbose ? 2 : 1], std::ios::binary);
    const auto targets = std::make_shared<rowtick::TargetList>();
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            targets->append(std::filesystem::path(line));

    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    rowtick::CountingJob job(targets);
    job.start(rowtick::CountingJob::Sizes::AtOnce);
    std::int64_t done = 0;
    std::optional<double> known;
    std::optional<double> fifth;
    while (!job.finished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        done += static_cast<std::int64_t>(job.takeRows().size());
        const std::optional<std::uint64_t> total = job.bytesToRead();
        const double share = total && *total > 0 ? static_cast<double>(job.bytesRead()) / static_cast<double>(*total) : 0;
        if (verbose)
            std::printf("%8.3f s  rows %lld/%lld  bar %5.1f %%%s\n", seconds(), static_cast<long long>(done),
                        static_cast<long long>(job.total()), 100 * share, total ? "" : "  (total not known)");
        if (total && !known) {
            known = seconds();
            std::printf("bytes to read known after %.3f s (%llu bytes), %lld of %lld rows done\n", *known,
                        static_cast<unsigned long long>(*total), static_cast<long long>(done),
                        static_cast<long long>(job.total()));
        }
        if (share >= 0.2 && !fifth) {
            fifth = seconds();
            std::printf("bar at %.1f %% after %.3f s, %lld of %lld rows done\n", 100 * share, *fifth,
                        static_cast<long long>(done), static_cast<long long>(job.total()));
        }
    }
    std::printf("run ended after %.3f s, %lld rows\n", seconds(), static_cast<long long>(done));
    return 0;
}

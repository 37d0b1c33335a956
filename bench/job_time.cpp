// rowtick-job-time LIST WORKERS [REPEAT]: times the window's threaded counting
// run over the paths listed in LIST (one per line), with WORKERS threads
// (0: one per core). Sizes the targets for the progress bar and takes the
// ready rows every 15 ms, as the window does.
// Prints the median wall time of REPEAT runs in seconds, the number of rows,
// and the median processor time of the runs in seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "counting/CountingJob.h"

namespace {

double ProcessorSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIST WORKERS [REPEAT]\n", argv[0]);
        return 2;
    }
    std::ifstream list(argv[1], std::ios::binary);
    const auto targets = std::make_shared<rowtick::TargetList>();
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            targets->append(std::filesystem::path(line));
    const unsigned workers = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    std::vector<double> seconds;
    std::vector<double> processor;
    std::size_t rows = 0;
    for (int r = 0; r < repeat; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const double processorStart = ProcessorSeconds();
        rowtick::CountingJob job(targets, workers);
        job.start(rowtick::CountingJob::Sizes::AtOnce);
        rows = 0;
        while (!job.finished()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            rows += job.takeRows().size();
            (void)job.bytesToRead();
        }
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        processor.push_back(ProcessorSeconds() - processorStart);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(processor.begin(), processor.end());
    std::printf("%.4f %zu %.4f\n", seconds[seconds.size() / 2], rows, processor[processor.size() / 2]);
    return 0;
}

// rowtick-job-time LIST WORKERS [REPEAT]: times the window's threaded counting
// run over the paths listed in LIST (one per line), with WORKERS threads
// (0: as many as a run picks for itself). Sizes the targets for the progress bar and takes the
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

#include "Medians.h"
#include "counting/CountingJob.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIST WORKERS [REPEAT]\n", argv[0]);
        return 2;
    }
    const auto targets = std::make_shared<rowtick::TargetList>();
    for (const std::string& path : rowtick::bench::ListedPaths(argv[1]))
        targets->append(std::filesystem::path(path));
    const unsigned workers = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    rowtick::bench::PrintMedians(repeat, [&] {
        rowtick::CountingJob job(targets, workers);
        job.start(rowtick::CountingJob::Sizes::AtOnce);
        std::size_t rows = 0;
        while (!job.finished()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            rows += job.takeRows().size();
            (void)job.bytesToRead();
        }
        return rows;
    });
    return 0;
}

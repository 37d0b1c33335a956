// rowtick-rows PATH...: runs the window's path over the given targets (target
// list, the counting job on every core, result writer) and writes the
// result-file bytes to standard output. A developer's tool for measuring and
// checking the counter: its figures are the window's.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "counting/CountingJob.h"
#include "saving/ResultWriter.h"

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> paths;
    paths.reserve(static_cast<std::size_t>(argc > 1 ? argc - 1 : 0));
    for (int i = 1; i < argc; ++i)
        paths.emplace_back(argv[i]);

    const auto targets = std::make_shared<rowtick::TargetList>();
    targets->append(paths);
    rowtick::ResultList results;
    rowtick::CountingJob job(targets);
    job.start();
    // Polled, as the window does, rather than woken for every row; often, so
    // that a short run does not wait long for its end.
    while (!job.finished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        results.append(job.takeRows());
    }

    const std::string bytes = rowtick::ResultFileBytes(results);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        return 1;
    return 0;
}

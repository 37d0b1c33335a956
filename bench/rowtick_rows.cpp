// rowtick-rows PATH...: runs the window's path over the given targets (target
// list, the counting job on every core, result writer) and writes the
// result-file bytes to standard output. A developer's tool for measuring and
// checking the counter: its figures are the window's.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "counting/CountingJob.h"
#include "saving/ResultWriter.h"

namespace {

// The job wakes its caller when the next row in order is ready and when the
// run ends; this bound only keeps a wait from being endless.
constexpr std::chrono::milliseconds kLongWait = std::chrono::hours(1);

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> paths;
    paths.reserve(static_cast<std::size_t>(argc > 1 ? argc - 1 : 0));
    for (int i = 1; i < argc; ++i)
        paths.emplace_back(argv[i]);

    const auto targets = std::make_shared<rowtick::TargetList>();
    targets->append(paths);
    paths.clear();
    paths.shrink_to_fit();
    rowtick::CountingJob job(targets);
    job.start();
    // Rows are written as they come, not kept: a long list is never held
    // twice, as rows and as the file's bytes.
    std::string bytes;
    for (;;) {
        job.wait(kLongWait);
        bytes.clear();
        for (const rowtick::ResultRow& row : job.takeRows())
            rowtick::AppendResultLine(bytes, row);
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
            return 1;
        if (job.finished())
            break;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

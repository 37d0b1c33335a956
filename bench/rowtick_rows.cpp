// rowtick-rows PATH...: runs the window's path over the given targets (target
// list, counting run, result writer) and writes the result-file bytes to
// standard output. A developer's tool for measuring and checking the counter.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "CountingRun.h"
#include "ResultWriter.h"

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> paths;
    paths.reserve(static_cast<std::size_t>(argc > 1 ? argc - 1 : 0));
    for (int i = 1; i < argc; ++i)
        paths.emplace_back(argv[i]);

    rowtick::TargetList targets;
    targets.append(paths);
    rowtick::ResultList results;
    rowtick::RunCount(targets, results);

    const std::string bytes = rowtick::ResultFileBytes(results);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        return 1;
    return 0;
}

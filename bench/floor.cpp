// rowtick-floor LIST [THREADS] [REPEAT]: the floor for counting many small
// files: open, fstat, read to the end and close each path listed in LIST (one
// per line), nothing else, on THREADS threads (default 2) that claim the paths
// in small runs. Prints the median wall time of REPEAT runs (default 1) in
// seconds, the number of files read, and the median processor time of the
// runs in seconds (a figure a loaded machine disturbs less). A developer's
// measuring tool (POSIX).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Medians.h"

namespace {

constexpr std::size_t kBlock = 256 * 1024;
constexpr std::size_t kRun = 64;  // paths a thread claims at a time

std::size_t ReadAll(const std::vector<std::string>& paths, std::atomic<std::size_t>& next)
{
    std::vector<char> buffer(kBlock);
    std::size_t read = 0;
    for (;;) {
        const std::size_t first = next.fetch_add(kRun);
        if (first >= paths.size())
            return read;
        const std::size_t last = std::min(paths.size(), first + kRun);
        for (std::size_t i = first; i < last; ++i) {
            const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            struct stat info {};
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
                while (::read(fd, buffer.data(), buffer.size()) > 0) {
                }
                ++read;
            }
            ::close(fd);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIST [THREADS] [REPEAT]\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> paths = rowtick::bench::ListedPaths(argv[1]);
    const unsigned threads = argc > 2 ? std::max(1u, static_cast<unsigned>(std::atoi(argv[2]))) : 2;
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    rowtick::bench::PrintMedians(repeat, [&] {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> read{0};
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < threads; ++t)
            workers.emplace_back([&] { read += ReadAll(paths, next); });
        for (std::thread& worker : workers)
            worker.join();
        return read.load();
    });
    return 0;
}

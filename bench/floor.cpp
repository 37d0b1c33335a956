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

namespace {

double ProcessorSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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
    std::vector<std::string> paths;
    std::ifstream list(argv[1], std::ios::binary);
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            paths.push_back(std::move(line));
    const unsigned threads = argc > 2 ? std::max(1u, static_cast<unsigned>(std::atoi(argv[2]))) : 2;
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

    std::vector<double> seconds;
    std::vector<double> processor;
    std::size_t files = 0;
    for (int r = 0; r < repeat; ++r) {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> read{0};
        const auto start = std::chrono::steady_clock::now();
        const double processorStart = ProcessorSeconds();
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < threads; ++t)
            workers.emplace_back([&] { read += ReadAll(paths, next); });
        for (std::thread& worker : workers)
            worker.join();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        processor.push_back(ProcessorSeconds() - processorStart);
        files = read.load();
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(processor.begin(), processor.end());
    std::printf("%.4f %zu %.4f\n", seconds[seconds.size() / 2], files, processor[processor.size() / 2]);
    return 0;
}

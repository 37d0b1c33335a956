// rowtick-uring-floor LIST [DEPTH] [REPEAT]: the floor for counting many small
// files through io_uring: openat, statx, read to the end and close each path
// listed in LIST (one per line), nothing else, from one thread that keeps
// DEPTH files (default 64) in flight at once, each going through its own
// open, look, reads and close as its answers come back. Prints the median
// wall time of REPEAT runs (default 1) in seconds, the number of files read,
// and the median processor time of the runs in seconds, as rowtick-floor does.
// A developer's measuring tool (Linux, liburing).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <liburing.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Medians.h"

namespace {

constexpr std::size_t kBlock = 256 * 1024;

// One file in flight: where it is in its open, look, reads and close.
struct Slot {
    enum class Step { Idle, Open, Look, Read, Close } step = Step::Idle;
    int fd = -1;
    std::uint64_t offset = 0;
    struct statx look {};
    std::vector<char> buffer = std::vector<char>(kBlock);
};

class Ring {
public:
    explicit Ring(unsigned depth)
    {
        const int error = io_uring_queue_init(depth * 2, &ring_, 0);
        if (error < 0) {
            std::fprintf(stderr, "io_uring_queue_init: %s\n", std::strerror(-error));
            std::exit(1);
        }
    }
    ~Ring() { io_uring_queue_exit(&ring_); }
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    io_uring_sqe* next(std::size_t slot)
    {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
        if (sqe == nullptr) {
            io_uring_submit(&ring_);
            sqe = io_uring_get_sqe(&ring_);
        }
        io_uring_sqe_set_data64(sqe, slot);
        return sqe;
    }
    io_uring* get() { return &ring_; }

private:
    io_uring ring_ {};
};

std::size_t ReadAll(const std::vector<std::string>& paths, unsigned depth)
{
    Ring ring(depth);
    std::vector<Slot> slots(depth);
    std::size_t next = 0;
    std::size_t inFlight = 0;
    std::size_t read = 0;

    const auto open = [&](std::size_t s) {
        if (next >= paths.size()) {
            slots[s].step = Slot::Step::Idle;
            return;
        }
        slots[s].step = Slot::Step::Open;
        io_uring_prep_openat(ring.next(s), AT_FDCWD, paths[next++].c_str(), O_RDONLY | O_CLOEXEC, 0);
        ++inFlight;
    };
    const auto readMore = [&](std::size_t s) {
        Slot& slot = slots[s];
        slot.step = Slot::Step::Read;
        io_uring_prep_read(ring.next(s), slot.fd, slot.buffer.data(), kBlock, slot.offset);
        ++inFlight;
    };
    const auto close = [&](std::size_t s) {
        slots[s].step = Slot::Step::Close;
        io_uring_prep_close(ring.next(s), slots[s].fd);
        ++inFlight;
    };

    for (std::size_t s = 0; s < slots.size(); ++s)
        open(s);
    while (inFlight > 0) {
        io_uring_submit_and_wait(ring.get(), 1);
        io_uring_cqe* cqe = nullptr;
        unsigned head = 0;
        unsigned seen = 0;
        io_uring_for_each_cqe(ring.get(), head, cqe)
        {
            ++seen;
            --inFlight;
            const std::size_t s = io_uring_cqe_get_data64(cqe);
            Slot& slot = slots[s];
            const int result = cqe->res;
            switch (slot.step) {
            case Slot::Step::Open:
                if (result < 0) {
                    open(s);
                    break;
                }
                slot.fd = result;
                slot.offset = 0;
                slot.step = Slot::Step::Look;
                io_uring_prep_statx(ring.next(s), slot.fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &slot.look);
                ++inFlight;
                break;
            case Slot::Step::Look:
                if (result < 0 || !S_ISREG(slot.look.stx_mode))
                    close(s);
                else
                    readMore(s);
                break;
            case Slot::Step::Read:
                if (result > 0) {
                    slot.offset += static_cast<std::uint64_t>(result);
                    readMore(s);
                } else {
                    ++read;
                    close(s);
                }
                break;
            case Slot::Step::Close:
                open(s);
                break;
            case Slot::Step::Idle:
                break;
            }
        }
        io_uring_cq_advance(ring.get(), seen);
    }
    return read;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIST [DEPTH] [REPEAT]\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> paths = rowtick::bench::ListedPaths(argv[1]);
    const unsigned depth = argc > 2 ? std::clamp(static_cast<unsigned>(std::atoi(argv[2])), 1u, 1024u) : 64;
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    rowtick::bench::PrintMedians(repeat, [&] { return ReadAll(paths, depth); });
    return 0;
}

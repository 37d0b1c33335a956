// A counting run on worker threads, for the window: the window's thread stays
// free to repaint and show progress while the files are read. The threads come
// from the worker pool, so a worker stuck in the file system after a cancel
// never makes the program hold more threads than the pool's cap.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "LineCounter.h"
#include "ResultList.h"
#include "targets/TargetList.h"

namespace rowtick {

class CountingJob {
public:
    // How one target is counted, on a worker thread, with the run's stop flag.
    // Empty means CountLines; tests pass a counter that holds a chosen target,
    // to get a run that lasts exactly as long as they need.
    using Counter = std::function<LineCount(const std::filesystem::path&, const std::atomic<bool>* stop)>;

    // Counts every row of `targets` after the hint row, as they are now: the
    // job reads its own snapshot of the list (which shares the rows, not copies
    // them), so appends to the list during the run are not its concern.
    // `workers` 0 means ReaderCount().
    explicit CountingJob(std::shared_ptr<const TargetList> targets, unsigned workers = 0, Counter counter = {});
    // Cancels the run. Does not wait for a worker that is still inside the file
    // system (a stalled network share): such a worker finishes on its own.
    ~CountingJob();
    CountingJob(const CountingJob&) = delete;
    CountingJob& operator=(const CountingJob&) = delete;

    // How soon the targets are sized for bytesToRead(): when it is first
    // asked, or at once, while the workers start.
    enum class Sizes { WhenAsked, AtOnce };
    void start(Sizes sizes = Sizes::WhenAsked);
    // Stops handing out targets; the rows already taken or ready in target
    // order stay, nothing after the first uncounted target is handed out.
    void cancel();

    // Waits up to `timeout` for more rows or for the end of the run.
    void wait(std::chrono::milliseconds timeout);
    // The rows that became ready in target order since the last call: exactly
    // the rows a one-at-a-time run gives, never one out of order.
    std::vector<ResultRow> takeRows();
    // True once every row has been taken, or the run was cancelled and what
    // was ready has been taken.
    bool finished() const;

    std::int64_t total() const;
    std::int64_t taken() const;
    // The first target whose row is not ready yet (empty when none is left).
    std::filesystem::path current() const;

    // Bytes read so far, and the bytes to read: the sizes of the targets, each
    // from the one look made at it, by the workers or by a sizing pass started
    // on the first call (or by start); empty until they are all known.
    std::uint64_t bytesRead() const;
    std::optional<std::uint64_t> bytesToRead();

private:
    void startSizing();

    struct State;
    std::shared_ptr<State> state_;
    unsigned workers_;
};

}  // namespace rowtick

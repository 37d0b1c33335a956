#include "CountingJob.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "CountingRun.h"
#include "LineCounter.h"
#include "WorkerPool.h"

namespace rowtick {

// Shared with the workers, so that a worker that outlives the job (stuck in
// the file system after a cancel) still has something valid to write to.
struct CountingJob::State {
    TargetList targets;  // the job's own snapshot: nothing changes it while the job reads it
    Counter counter;
    std::vector<std::optional<LineCount>> counts;  // filled by the workers, any order
    std::atomic<std::size_t> nextToClaim{0};
    // Set only under the lock, after `stopped`: a worker that sees it and then
    // comes for the lock finds the job stopped and keeps its row to itself.
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<std::uint64_t> bytesToRead{0};
    std::atomic<bool> sized{false};
    std::atomic<bool> sizing{false};

    mutable std::mutex mutex;
    std::condition_variable ready;
    std::size_t taken = 0;       // rows handed to the caller, a prefix of targets
    bool stopped = false;        // cancelled: nothing more is handed out

    void work()
    {
        for (;;) {
            const std::size_t i = nextToClaim.fetch_add(1);
            if (i >= counts.size() || cancelled.load())
                return;
            const auto row = static_cast<std::int64_t>(i) + 1;
            LineCount count = counter && !targets.refusal(row) ? counter(targets.target(row), &cancelled)
                                                               : CountTarget(targets, row, &cancelled, &bytesRead);
            std::lock_guard lock(mutex);
            if (stopped)
                return;
            counts[i] = std::move(count);
            ready.notify_all();
        }
    }

    // The bytes the run reads: the sizes of the targets it reads, and of no other.
    void size()
    {
        std::uint64_t total = 0;
        for (std::int64_t row = 1; row < targets.rowCount() && !cancelled.load(); ++row)
            total += TargetSize(targets, row).value_or(0);
        bytesToRead.store(total);
        sized.store(true);
    }

    // Rows ready in order from `taken` on; the caller holds the lock.
    std::size_t readyPrefixEnd() const
    {
        std::size_t end = taken;
        while (end < counts.size() && counts[end].has_value())
            ++end;
        return end;
    }
};

CountingJob::CountingJob(std::shared_ptr<const TargetList> targets, unsigned workers, Counter counter)
    : state_(std::make_shared<State>())
    , workers_(workers != 0 ? workers : std::max(1u, std::thread::hardware_concurrency()))
{
    state_->targets = *targets;
    state_->counts.resize(static_cast<std::size_t>(state_->targets.registeredCount()));
    state_->counter = std::move(counter);
    workers_ = static_cast<unsigned>(std::min<std::size_t>(workers_, std::max<std::size_t>(1, state_->counts.size())));
}

CountingJob::~CountingJob()
{
    cancel();
}

void CountingJob::start()
{
    for (unsigned i = 0; i < workers_; ++i)
        WorkerPool::shared().post([state = state_] { state->work(); });
}

void CountingJob::cancel()
{
    std::lock_guard lock(state_->mutex);
    if (state_->stopped)
        return;
    state_->stopped = true;
    state_->cancelled.store(true);
    // What is ready in order may still be taken; nothing after it.
    const std::size_t end = state_->readyPrefixEnd();
    for (std::size_t i = end; i < state_->counts.size(); ++i)
        state_->counts[i].reset();
    state_->ready.notify_all();
}

void CountingJob::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(state_->mutex);
    state_->ready.wait_for(lock, timeout, [this] {
        return state_->stopped || state_->readyPrefixEnd() > state_->taken
               || state_->taken == state_->counts.size();
    });
}

std::vector<ResultRow> CountingJob::takeRows()
{
    std::lock_guard lock(state_->mutex);
    const std::size_t end = state_->readyPrefixEnd();
    std::vector<ResultRow> rows;
    rows.reserve(end - state_->taken);
    for (std::size_t i = state_->taken; i < end; ++i) {
        LineCount& count = *state_->counts[i];
        rows.push_back(ResultRow{state_->targets.target(static_cast<std::int64_t>(i) + 1), count.lines, std::move(count.reason)});
        state_->counts[i].reset();  // taken rows are never scanned again; free them
    }
    state_->taken = end;
    return rows;
}

bool CountingJob::finished() const
{
    std::lock_guard lock(state_->mutex);
    if (state_->taken == state_->counts.size())
        return true;
    return state_->stopped && state_->readyPrefixEnd() == state_->taken;
}

std::int64_t CountingJob::total() const
{
    return state_->targets.registeredCount();
}

std::uint64_t CountingJob::bytesRead() const
{
    return state_->bytesRead.load();
}

std::optional<std::uint64_t> CountingJob::bytesToRead()
{
    if (!state_->sizing.exchange(true))
        WorkerPool::shared().post([state = state_] { state->size(); });
    if (!state_->sized.load())
        return std::nullopt;
    return state_->bytesToRead.load();
}

std::int64_t CountingJob::taken() const
{
    std::lock_guard lock(state_->mutex);
    return static_cast<std::int64_t>(state_->taken);
}

std::filesystem::path CountingJob::current() const
{
    std::lock_guard lock(state_->mutex);
    const std::size_t end = state_->readyPrefixEnd();
    return end < state_->counts.size() ? state_->targets.target(static_cast<std::int64_t>(end) + 1) : std::filesystem::path();
}

}  // namespace rowtick

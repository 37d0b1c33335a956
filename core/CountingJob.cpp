#include "CountingJob.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "CountingRun.h"
#include "FolderRun.h"
#include "LineCounter.h"
#include "WorkerPool.h"

namespace rowtick {

namespace {

// Targets a worker claims at a time, at most; fewer in a short list, so that
// every worker gets a share of it.
constexpr std::size_t kMostClaimed = 64;

}  // namespace

// Shared with the workers, so that a worker that outlives the job (stuck in
// the file system after a cancel) still has something valid to write to.
struct CountingJob::State {
    // One target's answer, written once by the worker that counted it and
    // published by `ready`: no lock per target, so that workers counting many
    // small files never wait for each other or for the window.
    // Small, as there is one for every target: the reason, mostly absent, apart.
    struct Slot {
        std::uint64_t lines = 0;
        std::unique_ptr<std::string> reason;  // null: counted
        std::atomic<bool> ready{false};

        void store(LineCount count)
        {
            if (count.counted())
                lines = *count.lines;
            else
                reason = std::make_unique<std::string>(std::move(count.reason));
            ready.store(true);
        }
    };

    TargetList targets;  // the job's own snapshot: nothing changes it while the job reads it
    Counter counter;
    std::unique_ptr<Slot[]> slots;
    std::size_t count = 0;  // targets
    std::size_t claim = 1;  // targets claimed at a time
    std::atomic<std::size_t> nextToClaim{0};
    // Set only under the lock, after `stopped`.
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<std::uint64_t> bytesToRead{0};
    std::atomic<bool> sized{false};
    std::atomic<bool> sizing{false};

    mutable std::mutex mutex;
    std::condition_variable ready;
    // Rows handed to the caller, a prefix of targets; written under the lock,
    // read by the workers to wake a caller waiting for exactly that row.
    std::atomic<std::size_t> taken{0};
    bool stopped = false;        // cancelled: nothing more is handed out
    std::size_t end = 0;         // rows that may be handed out: all, or those ready in order at the cancel

    void work()
    {
        for (;;) {
            // A run of targets at a time: neighbours in a list are mostly
            // neighbours in a folder, opened once for them (FolderRun).
            const std::size_t first = nextToClaim.fetch_add(claim);
            if (first >= count)
                return;
            FolderRun folder;
            for (std::size_t i = first; i < std::min(count, first + claim); ++i) {
                if (cancelled.load())
                    return;
                const auto row = static_cast<std::int64_t>(i) + 1;
                slots[i].store(counter && !targets.refusal(row)
                                   ? counter(targets.target(row), &cancelled)
                                   : CountTarget(targets, row, &cancelled, &bytesRead, &folder));
                if (i == taken.load()) {
                    std::lock_guard lock(mutex);
                    ready.notify_all();
                }
            }
        }
    }

    // The bytes the run reads: the sizes of the targets it reads, and of no other.
    void size()
    {
        std::uint64_t total = 0;
        std::optional<FolderRun> folder;
        for (std::int64_t row = 1; row < targets.rowCount() && !cancelled.load(); ++row) {
            if (row % static_cast<std::int64_t>(kMostClaimed) == 1)
                folder.emplace();  // as short as a worker's run
            total += TargetSize(targets, row, *folder).value_or(0);
        }
        bytesToRead.store(total);
        sized.store(true);
    }

    // Rows ready in order from `taken` on; the caller holds the lock.
    std::size_t readyPrefixEnd() const
    {
        std::size_t last = taken.load();
        while (last < end && slots[last].ready.load())
            ++last;
        return last;
    }
};

CountingJob::CountingJob(std::shared_ptr<const TargetList> targets, unsigned workers, Counter counter)
    : state_(std::make_shared<State>())
    , workers_(workers != 0 ? workers : std::max(1u, std::thread::hardware_concurrency()))
{
    state_->targets = *targets;
    state_->count = static_cast<std::size_t>(state_->targets.registeredCount());
    state_->end = state_->count;
    state_->slots = std::make_unique<State::Slot[]>(state_->count);
    state_->counter = std::move(counter);
    state_->claim = std::clamp<std::size_t>(state_->count / (8 * std::size_t{workers_}), 1, kMostClaimed);
    workers_ = static_cast<unsigned>(std::min<std::size_t>(workers_, std::max<std::size_t>(1, state_->count)));
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
    state_->end = state_->readyPrefixEnd();
    state_->ready.notify_all();
}

void CountingJob::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(state_->mutex);
    state_->ready.wait_for(lock, timeout, [this] {
        return state_->stopped || state_->readyPrefixEnd() > state_->taken || state_->taken == state_->count;
    });
}

std::vector<ResultRow> CountingJob::takeRows()
{
    std::lock_guard lock(state_->mutex);
    const std::size_t end = state_->readyPrefixEnd();
    std::vector<ResultRow> rows;
    rows.reserve(end - state_->taken);
    for (std::size_t i = state_->taken; i < end; ++i) {
        State::Slot& slot = state_->slots[i];
        const auto& path = state_->targets.text(static_cast<std::int64_t>(i) + 1);
        if (slot.reason)
            rows.push_back(ResultRow{path, std::nullopt, std::move(*slot.reason)});
        else
            rows.push_back(ResultRow{path, slot.lines, {}});
        slot.reason.reset();  // taken rows are never read again
    }
    state_->taken.store(end);
    return rows;
}

bool CountingJob::finished() const
{
    std::lock_guard lock(state_->mutex);
    if (state_->taken == state_->count)
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
    return static_cast<std::int64_t>(state_->taken.load());
}

std::filesystem::path CountingJob::current() const
{
    std::lock_guard lock(state_->mutex);
    const std::size_t end = state_->readyPrefixEnd();
    return end < state_->count ? state_->targets.target(static_cast<std::int64_t>(end) + 1) : std::filesystem::path();
}

}  // namespace rowtick

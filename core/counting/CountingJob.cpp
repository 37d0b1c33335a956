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
#include "ReaderCount.h"
#include "WorkerPool.h"

namespace rowtick {

namespace {

// Targets a worker claims at a time, at most; fewer in a short list, so that
// every worker gets a share of it.
constexpr std::size_t kMostClaimed = 64;
// What every worker writes for every target lives on a cache line of its own,
// so that no worker's reads of the rest wait for the other cores' writes.
constexpr std::size_t kCacheLine = 64;

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
    // Set only under the lock, after `stopped`.
    std::atomic<bool> cancelled{false};
    alignas(kCacheLine) std::atomic<std::uint64_t> bytesRead{0};

    // The progress bar's bytes to read, each target sized once: the workers
    // size the targets they claim from the front, by the look they make to
    // count them anyway, and the sizing pass, once asked for, the others from
    // the back, until the two meet. So a pass that would only repeat the
    // workers' looks stops early. Both ends in one word, so that a target is
    // either claimed by a worker or sized by the pass, never both: the front
    // (the first target no worker has claimed) in the low half, the back (the
    // first target the pass has sized) in the high half; a list holds far
    // fewer than 2^32 targets.
    alignas(kCacheLine) std::atomic<std::uint64_t> ends{0};
    alignas(kCacheLine) SizeTally sized;  // by both: complete once every target is looked at
    alignas(kCacheLine) std::atomic<bool> sizing{false};

    static constexpr std::uint64_t Ends(std::uint64_t front, std::uint64_t back) { return back << 32 | front; }
    static constexpr std::uint64_t Front(std::uint64_t ends) { return ends & 0xFFFFFFFFu; }
    static constexpr std::uint64_t Back(std::uint64_t ends) { return ends >> 32; }

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
            std::uint64_t seen = ends.load();
            std::uint64_t first = 0;
            std::uint64_t last = 0;
            do {
                first = Front(seen);
                if (first >= count)
                    return;
                last = std::min<std::uint64_t>(count, first + claim);
            } while (!ends.compare_exchange_weak(seen, Ends(last, Back(seen))));
            const std::uint64_t sizedHere = std::min(last, Back(seen));  // the pass sizes from there on
            FolderRun folder;
            for (std::size_t i = first; i < last; ++i) {
                if (cancelled.load())
                    return;
                const auto row = static_cast<std::int64_t>(i) + 1;
                SizeTally* const tally = i < sizedHere ? &sized : nullptr;
                if (counter && !targets.refusal(row)) {
                    if (tally)
                        tally->add(TargetSize(targets, row, folder).value_or(0));
                    slots[i].store(counter(targets.target(row), &cancelled));
                } else {
                    slots[i].store(CountTarget(targets, row, &cancelled, &bytesRead, &folder, tally));
                }
                if (i == taken.load()) {
                    std::lock_guard lock(mutex);
                    ready.notify_all();
                }
            }
        }
    }

    // The sizing pass: from the back, a run of targets at a time, until it
    // meets the workers.
    void size()
    {
        std::uint64_t seen = ends.load();
        while (!cancelled.load()) {
            std::uint64_t first = 0;
            do {
                if (Back(seen) <= Front(seen))
                    return;
                first = std::max(Front(seen), Back(seen) - std::min<std::uint64_t>(Back(seen), kMostClaimed));
            } while (!ends.compare_exchange_weak(seen, Ends(Front(seen), first)));
            FolderRun folder;
            for (std::uint64_t i = first; i < Back(seen); ++i)
                sized.add(TargetSize(targets, static_cast<std::int64_t>(i) + 1, folder).value_or(0));
            seen = ends.load();
        }
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
    , workers_(workers != 0 ? workers : ReaderCount())
{
    state_->targets = *targets;
    state_->count = static_cast<std::size_t>(state_->targets.registeredCount());
    state_->end = state_->count;
    state_->slots = std::make_unique<State::Slot[]>(state_->count);
    state_->counter = std::move(counter);
    state_->claim = std::clamp<std::size_t>(state_->count / (8 * std::size_t{workers_}), 1, kMostClaimed);
    state_->ends = State::Ends(0, state_->count);
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
    if (state_->sized.looked.load() < state_->count)
        return std::nullopt;
    return state_->sized.bytes.load();
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

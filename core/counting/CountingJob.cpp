#include "CountingJob.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "CountingRun.h"
#include "FileLook.h"
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
    // Where a target is: the sizing pass's look at it, and then its answer.
    enum Step : std::uint8_t {
        kUnlooked,  // nobody has reached it yet
        kLooking,   // the pass is storing its look, a few stores long
        kLooked,    // the pass's look is stored, and its bytes are in the total
        kCounting,  // a worker has it
        kReady,     // its answer is stored
    };
    // One target: first the pass's look, then the answer of the worker that
    // counted it, in the same few bytes (there is one for every target), and
    // published by `step`: no lock per target, so that workers counting many
    // small files never wait for each other, for the pass or for the window.
    struct Slot {
        struct Answer {
            std::uint64_t lines = 0;
            std::string* reason = nullptr;  // owned; null: counted
        };
        union {
            Answer answer{};
            FileLook look;
        };
        std::atomic<Step> step{kUnlooked};

        Slot() {}
        ~Slot()
        {
            if (step.load() == kReady)
                delete answer.reason;
        }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

        // For the worker that reaches it: the pass's look, when the pass got
        // there first, or nothing, and then the worker's own look sizes it.
        std::optional<FileLook> takeLook()
        {
            Step seen = kUnlooked;
            if (step.compare_exchange_strong(seen, kCounting))
                return std::nullopt;
            while (seen == kLooking) {
                std::this_thread::yield();
                seen = step.load();
            }
            const FileLook made = look;
            step.store(kCounting);
            return made;
        }
        // For the pass: stores its look, unless a worker got there meanwhile.
        bool putLook(const FileLook& made)
        {
            Step seen = kUnlooked;
            if (!step.compare_exchange_strong(seen, kLooking))
                return false;
            look = made;
            step.store(kLooked);
            return true;
        }
        void store(LineCount count)
        {
            answer = Answer{};
            if (count.counted())
                answer.lines = *count.lines;
            else
                answer.reason = new std::string(std::move(count.reason));
            step.store(kReady);
        }
        bool ready() const { return step.load() == kReady; }
    };

    TargetList targets;  // the job's own snapshot: nothing changes it while the job reads it
    Counter counter;
    std::unique_ptr<Slot[]> slots;
    std::size_t count = 0;  // targets
    std::size_t claim = 1;  // targets claimed at a time
    // Set only under the lock, after `stopped`.
    std::atomic<bool> cancelled{false};
    alignas(kCacheLine) std::atomic<std::uint64_t> bytesRead{0};
    // The first target no worker has claimed.
    alignas(kCacheLine) std::atomic<std::size_t> next{0};
    // The progress bar's bytes to read: each target sized by the one look made
    // at it, the pass's or the worker's.
    alignas(kCacheLine) SizeTally sized;
    alignas(kCacheLine) std::atomic<bool> sizing{false};

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
            const std::size_t first = next.fetch_add(claim);
            if (first >= count)
                return;
            const std::size_t last = std::min(count, first + claim);
            FolderRun folder;
            for (std::size_t i = first; i < last; ++i) {
                if (cancelled.load())
                    return;
                const auto row = static_cast<std::int64_t>(i) + 1;
                const std::optional<FileLook> looked = slots[i].takeLook();
                const FileLook* const look = looked ? &*looked : nullptr;
                SizeTally* const tally = look ? nullptr : &sized;
                if (counter && !targets.refusal(row)) {
                    if (tally)
                        tally->add(LookAt(targets.text(row), folder).toRead().value_or(0));
                    slots[i].store(counter(targets.target(row), &cancelled));
                } else {
                    slots[i].store(CountTarget(targets, row, &cancelled, &bytesRead, &folder, look, tally));
                }
                if (i == taken.load()) {
                    std::lock_guard lock(mutex);
                    ready.notify_all();
                }
            }
        }
    }

    // The sizing pass: every target no worker has reached, from the back, a
    // run at a time, those in the runs the workers have claimed included. Its
    // look is the one the worker then uses.
    void size()
    {
        std::size_t i = count;
        while (i > 0 && !cancelled.load()) {
            const std::size_t runStart = i - std::min(i, kMostClaimed);
            FolderRun folder;
            for (; i > runStart; --i) {
                Slot& slot = slots[i - 1];
                if (slot.step.load() != kUnlooked)
                    continue;
                const auto row = static_cast<std::int64_t>(i);
                const bool refused = targets.refusal(row) != nullptr;
                const FileLook look = refused ? FileLook{} : LookAt(targets.text(row), folder);
                // A worker that got there meanwhile made a look of its own, and sized it.
                if (slot.putLook(look))
                    sized.add(refused ? 0 : look.toRead().value_or(0));
            }
        }
    }

    // Rows ready in order from `taken` on; the caller holds the lock.
    std::size_t readyPrefixEnd() const
    {
        std::size_t last = taken.load();
        while (last < end && slots[last].ready())
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
    workers_ = static_cast<unsigned>(std::min<std::size_t>(workers_, std::max<std::size_t>(1, state_->count)));
}

CountingJob::~CountingJob()
{
    cancel();
}

void CountingJob::start(Sizes sizes)
{
    // The pass first: a pool full of workers would hold it back.
    if (sizes == Sizes::AtOnce)
        startSizing();
    for (unsigned i = 0; i < workers_; ++i)
        WorkerPool::shared().post([state = state_] { state->work(); });
}

void CountingJob::startSizing()
{
    if (!state_->sizing.exchange(true))
        WorkerPool::shared().post([state = state_] { state->size(); });
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
        if (slot.answer.reason) {
            rows.push_back(ResultRow{path, std::nullopt, std::move(*slot.answer.reason)});
            delete slot.answer.reason;  // taken rows are never read again
            slot.answer.reason = nullptr;
        } else {
            rows.push_back(ResultRow{path, slot.answer.lines, {}});
        }
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
    startSizing();
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

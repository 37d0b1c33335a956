#include <thread>
#include "TestSupport.h"
#include "counting/PieceCount.h"
#include "counting/PositionedRead.h"
#include "counting/WorkerPool.h"

namespace rowtick { namespace {
using namespace test;

#ifndef _WIN32
// The held file's reads wait, after its first block, until the run's stop flag is set.
thread_local bool tHolding = false;
std::atomic<const std::atomic<bool>*> tStop{nullptr};
std::atomic<bool> tMidway{false};

long HoldingRead(int fd, void* buffer, std::size_t size, std::uint64_t offset)
{
    if (tHolding && offset > 0) {
        tMidway = true;
        while (!tStop.load()->load())
            std::this_thread::yield();
    }
    return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

// Cancelled while the fourth target is half read: it stops there, and exactly the three rows before it come out.
TEST(CountingJob, CancelInTheMiddleOfAFileKeepsExactlyTheRowsBeforeIt)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    for (int i = 0; i < 8; ++i) {
        const std::string lines(i == 3 ? 3 * 1024 * 1024 : i + 1, '\n');
        targets->append(folder.write("f" + std::to_string(i) + ".c", lines));
    }
    const fs::path held = targets->target(4);
    ResultList expected;  // the three before it, of 1, 2 and 3 lines
    for (std::int64_t row = 1; row <= 3; ++row)
        expected.append({targets->target(row), std::uint64_t(row), {}});

    reading::SetPositionedRead(HoldingRead);
    tMidway = false;
    CountingJob job(targets, 3, [held](const fs::path& path, const std::atomic<bool>* stop) {
        tHolding = path == held;
        if (tHolding)
            tStop = stop;
        LineCount count = CountLines(path, stop);
        tHolding = false;
        return count;
    });
    job.start();
    // Midway through the held file, and the three before it counted (by other workers, at their own pace).
    while (!tMidway || job.current() != held)
        job.wait(5ms);
    job.cancel();
    EXPECT_EQ(Take(job), ResultFileBytes(expected));
    EXPECT_EQ(job.taken(), 3);
    reading::SetPositionedRead(nullptr);
}

// Every target hangs, as on a network share that stopped answering; run after run is cancelled.
TEST(CountingJob, RunsOverTargetsThatHangNeverHoldMoreThreadsThanThePoolAllows)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    for (int i = 0; i < 4; ++i)
        targets->append(folder.write("f" + std::to_string(i) + ".c", "a\n"));
    const auto threads = [] { return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()); };
    const auto before = threads();
    std::promise<void> answer;
    const std::shared_future<void> answered = answer.get_future().share();
    for (int run = 0; run < 12; ++run) {
        CountingJob job(targets, 2, [answered](const fs::path& path, const std::atomic<bool>* stop) {
            answered.wait();
            return CountLines(path, stop);
        });
        job.start();
        job.wait(20ms);
        job.cancel();
        EXPECT_EQ(Take(job), "");
    }
    EXPECT_LE(threads(), before + std::ptrdiff_t(WorkerPool::shared().maxThreads()));
    EXPECT_LE(WorkerPool::shared().threadCount(), WorkerPool::shared().maxThreads());
    answer.set_value();
}
#endif  // !_WIN32

// A caller that waits with no near bound (rowtick-rows) is woken when the next row in order is ready: a wake
// that is missed leaves this test waiting until CTest's timeout.
TEST(CountingJob, WaitIsWokenWhenTheNextRowIsReady)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    targets->append(std::vector{folder.write("a.c", "a\n"), folder.write("b.c", "b\nb\n")});
    const fs::path held = targets->target(2);
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    CountingJob job(targets, 1, [held, released](const fs::path& path, const std::atomic<bool>* stop) {
        if (path == held)
            released.wait();
        return CountLines(path, stop);
    });
    job.start();
    job.wait(std::chrono::hours(1));
    EXPECT_EQ(job.takeRows().size(), 1u);
    // Released once the caller is (all but surely) waiting for it.
    std::thread releaser([&release] {
        std::this_thread::sleep_for(200ms);
        release.set_value();
    });
    job.wait(std::chrono::hours(1));
    const std::vector<ResultRow> rows = job.takeRows();
    releaser.join();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].lines, std::optional<std::uint64_t>(2));
    EXPECT_TRUE(job.finished());
}

// The bytes to read, once the job has them all.
std::uint64_t BytesToRead(CountingJob& job)
{
    for (;;) {
        if (const std::optional<std::uint64_t> toRead = job.bytesToRead())
            return *toRead;
        job.wait(1ms);
    }
}

// The progress bar's figures: the bytes to read are the sizes of the targets that are read, and every byte
// read, a big file's pieces included, and the size of a file that cannot be read, so the bar reaches its
// end; a hidden file, a folder, a missing file and a refused entry add nothing.
TEST(CountingJob, BytesToReadAndBytesRead)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    targets->append(std::vector{folder.write("small.c", std::string(1000, 'x')), folder.write("empty.c", ""),
                                folder.write("big.c", std::string(reading::kPiecesFrom + 12345, '\n')),
                                folder.path(), folder.path() / "missing.c"});
    targets->appendRefused("//server/share/a.c", "refused");
    const fs::path hidden = folder.write(".hidden.c", std::string(5000000, 'x'));
    targets->append(hidden);
#ifdef _WIN32
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    const fs::path locked = folder.write("locked.c", std::string(7000, 'x'));
    ::chmod(locked.c_str(), 0);
    targets->append(locked);
    const OrdinaryUser user;
#endif
#ifdef _WIN32
    const std::uint64_t bytes = 1000 + reading::kPiecesFrom + 12345;
#else
    const std::uint64_t bytes = 1000 + reading::kPiecesFrom + 12345 + 7000;
#endif
    CountingJob job(targets);
    job.start();
    EXPECT_EQ(BytesToRead(job), bytes);
    EXPECT_EQ(Take(job), ResultFileBytes([&] {
        ResultList expected;
        RunCount(*targets, expected);
        return expected;
    }()));
    EXPECT_EQ(job.bytesRead(), bytes);
}

// The worker holds the first target of the run it claimed, and then the sizing pass starts. It sizes every other
// target, those in that run included, so the total is known before the worker moves on; each target sized once.
TEST(CountingJob, SizesEveryTargetOnceWhileTheWorkerIsHeldAtTheFirst)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    std::uint64_t bytes = 0;
    for (int i = 0; i < 40; ++i) {  // one worker claims five at a time
        targets->append(folder.write("f" + std::to_string(i) + ".c", std::string(std::size_t(i) + 1, 'x')));
        bytes += std::uint64_t(i) + 1;
    }
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> held{0};
    CountingJob job(targets, 1, [&](const fs::path& path, const std::atomic<bool>* stop) {
        ++held;
        released.wait();
        return CountLines(path, stop);
    });
    job.start();
    while (held < 1)
        std::this_thread::yield();
    std::optional<std::uint64_t> total;
    for (int tries = 0; tries < 10000 && !total; ++tries) {
        total = job.bytesToRead();
        job.wait(1ms);
    }
    EXPECT_EQ(total, bytes);
    EXPECT_EQ(held, 1);
    release.set_value();
    Take(job);
    EXPECT_EQ(job.bytesToRead(), bytes);
}

#ifndef _WIN32
// Holds the first file a worker opens, between its look and its opening, until the test lets it go.
std::shared_future<void> tReleased;
std::atomic<bool> tHeldOnce{false};

void HoldTheFirstOpening()
{
    if (!tHeldOnce.exchange(true))
        tReleased.wait();
}

// The sizing pass looked at the other targets while the worker was held at the first; then one file grew and
// another was replaced under its name. The worker, finding a file other than the one the pass looked at, looks
// again: the rows are those of the files as they are when counted, not "changed".
TEST(CountingJob, AFileChangedAfterTheSizingLookIsCountedAsItIsThen)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    const fs::path first = folder.write("first.c", "1\n");
    const fs::path grown = folder.write("grown.c", "1\n");
    const fs::path replaced = folder.write("replaced.c", "1\n2\n");
    targets->append(std::vector{first, grown, replaced});
    std::promise<void> release;
    tReleased = release.get_future().share();
    tHeldOnce = false;
    reading::SetBetweenLookAndOpen(HoldTheFirstOpening);
    CountingJob job(targets, 1);
    job.start(CountingJob::Sizes::AtOnce);
    EXPECT_EQ(BytesToRead(job), 2 + 2 + 4);
    std::ofstream(grown, std::ios::app) << "2\n3\n";
    fs::rename(folder.write("other.c", "1\n2\n3\n4\n"), replaced);
    release.set_value();
    ResultList expected;
    expected.append({first, 1, {}});
    expected.append({grown, 3, {}});
    expected.append({replaced, 4, {}});
    EXPECT_EQ(Take(job), ResultFileBytes(expected));
    reading::SetBetweenLookAndOpen(nullptr);
}
#endif  // !_WIN32

// The list grows while a run counts it (a drop during a run): the run counts the targets it was started
// with, and reads none of the rows appended meanwhile, nor the list's storage as it grows.
TEST(CountingJob, ReadsTheListAsItWasWhenItStarted)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    for (int i = 0; i < 1500; ++i)
        targets->append(folder.path() / ("f" + std::to_string(i) + ".c"));
    const TargetList before = *targets;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    CountingJob job(targets, 2, [released](const fs::path& path, const std::atomic<bool>* stop) {
        released.wait();
        return CountLines(path, stop);
    });
    job.start();
    for (int i = 0; i < 5000; ++i)
        targets->append(folder.write("new" + std::to_string(i) + ".c", "a\n"));
    release.set_value();
    EXPECT_EQ(job.total(), 1500);
    EXPECT_EQ(Take(job), ResultFileBytes([&] {
        ResultList expected;
        RunCount(before, expected);
        return expected;
    }()));
    EXPECT_EQ(targets->registeredCount(), 6500);
    EXPECT_EQ(targets->target(6500), folder.path() / "new4999.c");
}
}}  // namespace rowtick

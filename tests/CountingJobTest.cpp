#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "CountingJob.h"
#include "CountingRun.h"
#include "ResultWriter.h"
#include "TestSupport.h"

namespace rowtick {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;

// A mixed target list: counted files, uncountable targets and duplicates.
TargetList MixedTargets(const TempFolder& folder, int files)
{
    TargetList targets;
    for (int i = 0; i < files; ++i) {
        std::string text;
        for (int line = 0; line < i % 17; ++line)
            text += (line % 3 == 0) ? "x\r\n" : (line % 3 == 1 ? "y\n" : "z\r");
        targets.append(folder.write("f" + std::to_string(i) + ".c", text));
        if (i % 10 == 3)
            targets.append(folder.path() / ("missing" + std::to_string(i)));
        if (i % 10 == 7)
            targets.append(folder.path());
        if (i % 25 == 0)
            targets.append(folder.path() / ("f" + std::to_string(i) + ".c"));
    }
    return targets;
}

std::vector<ResultRow> RunToEnd(CountingJob& job)
{
    std::vector<ResultRow> rows;
    job.start();
    while (!job.finished()) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
    return rows;
}

class CountingJobWorkers : public ::testing::TestWithParam<unsigned> {};

TEST_P(CountingJobWorkers, GivesExactlyTheRowsOfAOneAtATimeRun)
{
    TempFolder folder;
    const TargetList targets = MixedTargets(folder, 300);
    ResultList expected;
    RunCount(targets, expected);

    CountingJob job(targets, GetParam());
    ResultList got;
    for (ResultRow& row : RunToEnd(job))
        got.append(std::move(row));

    ASSERT_EQ(got.rowCount(), expected.rowCount());
    for (std::int64_t i = 0; i < got.rowCount(); ++i) {
        EXPECT_EQ(got.row(i).bytes(), expected.row(i).bytes()) << "row " << i;
        EXPECT_EQ(got.row(i).reason, expected.row(i).reason) << "row " << i;
    }
    EXPECT_EQ(job.taken(), job.total());
}

INSTANTIATE_TEST_SUITE_P(Workers, CountingJobWorkers, ::testing::Values(1u, 2u, 8u, 0u));

TEST(CountingJob, NoTargetsFinishesAtOnce)
{
    CountingJob job(TargetList{});
    EXPECT_TRUE(RunToEnd(job).empty());
    EXPECT_TRUE(job.finished());
}

TEST(CountingJob, CancelKeepsAPrefixInTargetOrder)
{
    TempFolder folder;
    const TargetList targets = MixedTargets(folder, 2000);
    ResultList expected;
    RunCount(targets, expected);

    CountingJob job(targets, 4);
    job.start();
    std::vector<ResultRow> rows;
    while (rows.empty() && !job.finished()) {
        job.wait(1ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
    job.cancel();
    while (!job.finished()) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
    EXPECT_TRUE(job.takeRows().empty());
    ASSERT_LE(static_cast<std::int64_t>(rows.size()), expected.rowCount());
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].bytes(), expected.row(static_cast<std::int64_t>(i)).bytes()) << "row " << i;
}

// The counter holds one target until the test opens the gate, so the run is
// cancelled at a known place: rows after the held target may be counted
// already, but none of them may come out.
TEST(CountingJob, CancelWhileATargetIsHeldKeepsExactlyTheRowsBeforeIt)
{
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    TempFolder folder;
    TargetList targets;
    for (int i = 0; i < 8; ++i)
        targets.append(folder.write("f" + std::to_string(i) + ".c", std::string(i, '\n')));
    const std::filesystem::path held = targets.target(4);
    auto gate = std::make_shared<Gate>();
    CountingJob job(targets, 3, [gate, held](const std::filesystem::path& path) {
        if (path == held) {
            std::unique_lock lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        return CountLines(path);
    });

    job.start();
    std::vector<ResultRow> rows;
    while (rows.size() < 3) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
    EXPECT_FALSE(job.finished());
    EXPECT_EQ(job.current(), held);

    job.cancel();
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    while (!job.finished()) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].path, targets.target(static_cast<std::int64_t>(i) + 1));
        EXPECT_EQ(rows[i].lines, std::optional<std::uint64_t>(i));
    }
    EXPECT_EQ(job.taken(), 3);
}

TEST(CountingJob, CurrentNamesTheFirstTargetWithoutARow)
{
    TempFolder folder;
    TargetList targets;
    targets.append(folder.write("a.c", "1\n"));
    targets.append(folder.write("b.c", "1\n2\n"));
    CountingJob job(targets, 1);
    EXPECT_EQ(job.current(), folder.path() / "a.c");
    RunToEnd(job);
    EXPECT_TRUE(job.current().empty());
}

}  // namespace
}  // namespace rowtick

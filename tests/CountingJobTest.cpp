#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "CountingJob.h"
#include "CountingRun.h"
#include "TestSupport.h"

namespace rowtick {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;

// A mixed target list: files of 0 to 16 lines, uncountable targets and duplicates.
TargetList MixedTargets(const TempFolder& folder, int files)
{
    TargetList targets;
    for (int i = 0; i < files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".c";
        targets.append(folder.write(name, std::string(i % 17, "\r\n"[i % 2])));
        if (i % 10 == 3)
            targets.append(folder.path() / ("missing" + std::to_string(i)));
        if (i % 10 == 7)
            targets.append(folder.path());
        if (i % 25 == 0)
            targets.append(folder.path() / name);
    }
    return targets;
}

// Takes the job's rows into `rows` until it finishes.
void Take(CountingJob& job, std::vector<ResultRow>& rows)
{
    while (!job.finished()) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.push_back(std::move(row));
    }
}

struct WorkersCase {
    const char* scenario;
    int files;
    unsigned workers;
};

class CountingJobWorkers : public ::testing::TestWithParam<WorkersCase> {};

TEST_P(CountingJobWorkers, GivesExactlyTheRowsOfAOneAtATimeRun)
{
    TempFolder folder;
    const TargetList targets = MixedTargets(folder, GetParam().files);
    ResultList expected;
    RunCount(targets, expected);

    CountingJob job(targets, GetParam().workers);
    EXPECT_EQ(job.current(), targets.registeredCount() ? targets.target(1) : std::filesystem::path());
    std::vector<ResultRow> rows;
    job.start();
    Take(job, rows);

    ASSERT_EQ(static_cast<std::int64_t>(rows.size()), expected.rowCount());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].bytes(), expected.rows()[i].bytes()) << "row " << i;
        EXPECT_EQ(rows[i].reason, expected.rows()[i].reason) << "row " << i;
    }
    EXPECT_EQ(job.taken(), job.total());
    EXPECT_TRUE(job.current().empty());
}

INSTANTIATE_TEST_SUITE_P(Workers, CountingJobWorkers,
                         ::testing::Values(WorkersCase{"no targets", 0, 2}, WorkersCase{"one worker", 300, 1},
                                           WorkersCase{"two workers", 300, 2},
                                           WorkersCase{"more workers than cores", 300, 8},
                                           WorkersCase{"one worker per core", 300, 0}),
                         test::ScenarioName());

// The counter holds one target until the test opens the gate, so the run is
// cancelled at a known place: the rows ready before it stay, rows after it
// may be counted already, but none of them may come out.
TEST(CountingJob, CancelKeepsExactlyTheRowsBeforeTheFirstUncountedTarget)
{
    TempFolder folder;
    const TargetList targets = MixedTargets(folder, 40);
    ResultList expected;
    RunCount(targets, expected);
    constexpr std::size_t kBefore = 5;
    const std::filesystem::path held = targets.target(kBefore + 1);
    std::promise<void> open;
    CountingJob job(targets, 3, [gate = open.get_future().share(), held](const std::filesystem::path& path) {
        if (path == held)
            gate.wait();
        return CountLines(path);
    });

    job.start();
    // Every row before the held target gets ready, and is left to be taken
    // after the cancel.
    while (job.current() != held)
        job.wait(50ms);
    EXPECT_FALSE(job.finished());

    job.cancel();
    open.set_value();
    std::vector<ResultRow> rows;
    Take(job, rows);
    EXPECT_TRUE(job.takeRows().empty());
    ASSERT_EQ(rows.size(), kBefore);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].bytes(), expected.rows()[i].bytes()) << "row " << i;
    EXPECT_EQ(job.taken(), static_cast<std::int64_t>(kBefore));
}

}  // namespace
}  // namespace rowtick

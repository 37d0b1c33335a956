#include <future>

#include "TestSupport.h"
#include "counting/ReaderCount.h"

namespace rowtick { namespace {
using namespace test;

// Every target's count waits at a gate until the test opens it; the gate
// counts the readers waiting there at once. Shared with the workers, which
// may outlive a failed test.
struct Gate {
    std::atomic<unsigned> inside{0};
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
};

// Polls `done` until it holds or ten seconds pass.
template <class Done>
bool Within10s(CountingJob& job, const Done& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        job.wait(1ms);
    }
    return true;
}

struct ReadersCase {
    const char* scenario;
    int targets;
};

class Readers : public ::testing::TestWithParam<ReadersCase> {};

// A run left to choose its workers has ReaderCount() reads in flight at once
// (fewer only in a shorter list), and while every one of them waits for the
// disk, the pool still has room for the sizing pass: the progress bar gets its
// total, and no reader waits behind another for a thread.
TEST_P(Readers, AllInFlightAtOnceAndTheTotalKnownWhileTheyWait)
{
    TempFolder folder;
    auto targets = std::make_shared<TargetList>();
    ResultList expected;
    for (int i = 0; i < GetParam().targets; ++i) {
        const fs::path file = folder.write("f" + std::to_string(i) + ".c", "a\n");
        targets->append(file);
        expected.append({file, 1, {}});
    }
    const auto gate = std::make_shared<Gate>();
    CountingJob job(targets, 0, [gate](const fs::path& path, const std::atomic<bool>* stop) {
        ++gate->inside;
        gate->opened.wait();
        return CountLines(path, stop);
    });
    job.start();

    const unsigned inFlight = std::min(ReaderCount(), unsigned(GetParam().targets));
    EXPECT_TRUE(Within10s(job, [&] { return gate->inside.load() >= inFlight; }))
        << gate->inside.load() << " of " << inFlight << " readers at once";
    std::optional<std::uint64_t> toRead;
    EXPECT_TRUE(Within10s(job, [&] { return (toRead = job.bytesToRead()).has_value(); }));
    EXPECT_EQ(toRead.value_or(0), 2u * GetParam().targets);

    gate->open.set_value();
    EXPECT_EQ(Take(job), ResultFileBytes(expected));
}

INSTANTIATE_TEST_SUITE_P(Lists, Readers, ::testing::Values(
        ReadersCase{"three targets", 3},
        ReadersCase{"more targets than readers", 40}),
    ScenarioName);

}}  // namespace rowtick

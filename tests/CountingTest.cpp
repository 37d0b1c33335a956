#include "TestSupport.h"

namespace rowtick { namespace {
using namespace test;

#ifdef _WIN32
const fs::path kOddName = u8"-한글é x.c";  // outside code page 932
#else
const fs::path kOddName = "-\x83\x65\tx.c";  // not UTF-8
#endif

// One row per target in order, whatever it is (a file twice, a missing one, an odd name); a second run appends.
TEST(CountingRun, OneRowPerTargetInOrderAndASecondRunAppends)
{
    TempFolder folder;
    const fs::path twice = folder.write("b.c", "one\ntwo\nthree\n");
    TargetList targets;
    targets.append(std::vector{twice, folder.write("a.c", ""), folder.path() / "missing.c", folder.write("c.bas", "x\r\ny"),
                               twice, folder.write(kOddName, "a\n")});
    ResultList results;
    RunCount(targets, results);
    std::string rows;
    for (std::int64_t i = 0; i < results.rowCount(); ++i) {
        const bool samePath = results.row(i).path == targets.text(i + 1);
        rows += results.row(i).countText() + (samePath ? " " : "?");
    }
    EXPECT_EQ(rows, "3 0 - 2 3 1 ");
    const std::string first = ResultFileBytes(results);
    RunCount(targets, results);
    EXPECT_EQ(ResultFileBytes(results), first + first);
}

TargetList MixedTargets(const TempFolder& folder, int files)  // files of 0-16 lines, missing, folder, duplicates
{
    TargetList targets;
    for (int i = 0; i < files; ++i) {
        targets.append(folder.write("f" + std::to_string(i) + ".c", std::string(i % 17, "\r\n"[i % 2])));
        if (i % 10 == 3 || i % 10 == 7)
            targets.append(i % 10 == 3 ? folder.path() / "missing" : i % 20 == 7 ? folder.path() : targets.target(1));
    }
    return targets;
}

TEST(CountingJob, GivesExactlyTheRowsOfRunCountForAnyNumberOfWorkers)
{
    TempFolder folder;
    const auto targets = std::make_shared<const TargetList>(MixedTargets(folder, 300));
    ResultList expected;
    RunCount(*targets, expected);
    for (unsigned workers : {1u, 3u, 8u}) {
        CountingJob job(targets, workers);
        job.start();
        EXPECT_EQ(Take(job), ResultFileBytes(expected)) << workers << " workers";
        EXPECT_EQ(job.taken(), job.total());
    }
}

// The counter holds the 6th target until the test lets it go: cancelled there, exactly the five rows before it come out.
TEST(CountingJob, CancelKeepsExactlyTheRowsBeforeTheHeldTarget)
{
    TempFolder folder;
    const auto targets = std::make_shared<const TargetList>(MixedTargets(folder, 40));
    TargetList firstFive;
    for (std::int64_t row = 1; row <= 5; ++row)
        firstFive.append(targets->target(row));
    ResultList expected;
    RunCount(firstFive, expected);
    std::promise<void> open;
    const fs::path held = targets->target(6);
    CountingJob job(targets, 3, [gate = open.get_future().share(), held](const fs::path& path, const std::atomic<bool>* stop) {
        if (path == held)
            gate.wait();
        return CountLines(path, stop);
    });
    job.start();
    while (job.current() != held)
        job.wait(50ms);
    job.cancel();
    open.set_value();
    EXPECT_EQ(Take(job), ResultFileBytes(expected));
    EXPECT_EQ(job.taken(), 5);
}

#ifndef _WIN32
std::string CountAndReason(const LineCount& count)
{
    return count.text() + count.reason;
}

// A run of targets keeps their folder open: removed under the run, and made again as a link to another folder while
// the run is elsewhere, each target still gets what its whole name gives at that moment.
TEST(FolderRun, AFolderRemovedOrReplacedMidRunGivesWhatTheWholeNameGives)
{
    TempFolder top;
    const fs::path x = top.path() / "x";
    fs::create_directories(x);
    WriteFile(x / "a.c", "1\n");
    WriteFile(x / "b.c", "1\n");
    const fs::path y = top.path() / "y";
    fs::create_directories(y);
    WriteFile(y / "b.c", "1\n2\n3\n");
    const fs::path elsewhere = top.write("elsewhere.c", "1\n2\n");
    FolderRun run;
    EXPECT_EQ(CountLines((x / "a.c").native(), run).text(), "1");
    fs::remove_all(x);
    EXPECT_EQ(CountAndReason(CountLines((x / "b.c").native(), run)), "ファイルが見つかりません");
    EXPECT_EQ(CountAndReason(CountLines((x / "b.c").native(), run)), CountAndReason(CountLines(x / "b.c")));
    fs::create_directory_symlink(y, x);
    EXPECT_EQ(CountLines(elsewhere.native(), run).text(), "2");
    EXPECT_EQ(CountLines((x / "b.c").native(), run).text(), "3");
}
#endif

TEST(TargetList, RegisteredCountTextAndFileNameOf)
{
    TargetList targets;
    targets.append(std::vector<fs::path>{"/src/b.cpp", "/src", "/src/b.cpp"});
    EXPECT_EQ(RegisteredCountText(TargetList().registeredCount()) + RegisteredCountText(targets.registeredCount())
                  + RegisteredCountText(5000000000), "登録数=0登録数=3登録数=5000000000");
    const std::vector<std::pair<fs::path, fs::path>> names = {
        {"/src/main.bas", "main.bas"}, {"/main.bas", "main.bas"}, {"/src/", ""}, {"main.bas", ""},
#ifdef _WIN32
        {"C:/src/a b.txt", "a b.txt"}, {"//server/share/x.c", "x.c"}, {u8"/old/日本.txt", u8"日本.txt"},
#else
        {"/src/a\\b.txt", "a\\b.txt"}, {"/old/\x83\x65.txt", "\x83\x65.txt"},
#endif
    };
    for (const auto& [path, name] : names)
        EXPECT_EQ(FileNameOf(Native(path)).native(), name.native()) << path;
}
}}  // namespace rowtick

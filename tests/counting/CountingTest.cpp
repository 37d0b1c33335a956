#include "TestSupport.h"

namespace rowtick { namespace {
using namespace test;

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

#ifndef _WIN32
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
    EXPECT_EQ(CountLines((x / "b.c").native(), run).reason, "ファイルが見つかりません");
    EXPECT_EQ(CountLines((x / "b.c").native(), run).reason, CountLines(x / "b.c").reason);
    fs::create_directory_symlink(y, x);
    EXPECT_EQ(CountLines(elsewhere.native(), run).text(), "2");
    EXPECT_EQ(CountLines((x / "b.c").native(), run).text(), "3");
}
#endif

TEST(TargetList, FileNameOf)
{
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

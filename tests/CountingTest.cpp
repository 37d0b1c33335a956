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

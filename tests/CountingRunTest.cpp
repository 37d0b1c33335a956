#include <gtest/gtest.h>

#include "CountingRun.h"
#include "ResultWriter.h"
#include "TestSupport.h"

namespace rowtick {
namespace {

using test::TempFolder;

TEST(CountingRun, HintRowAloneAppendsNothing)
{
    const TargetList targets;
    ResultList results;
    RunCount(targets, results);
    EXPECT_EQ(results.rowCount(), 0);
}

TEST(CountingRun, OneRowPerTargetInTargetOrder)
{
    TempFolder folder;
    TargetList targets;
    targets.append(folder.write("b.c", "one\ntwo\nthree\n"));
    targets.append(folder.write("a.c", ""));
    targets.append(folder.path() / "missing.c");
    targets.append(folder.write("c.bas", "x\r\ny"));

    ResultList results;
    RunCount(targets, results);

    ASSERT_EQ(results.rowCount(), 4);
    EXPECT_EQ(results.row(0).bytes(), "3,\t" + (folder.path() / "b.c").native());
    EXPECT_EQ(results.row(1).bytes(), "0,\t" + (folder.path() / "a.c").native());
    EXPECT_EQ(results.row(2).bytes(), "-,\t" + (folder.path() / "missing.c").native());
    EXPECT_FALSE(results.row(2).reason.empty());
    EXPECT_EQ(results.row(3).bytes(), "2,\t" + (folder.path() / "c.bas").native());
    for (int i : {0, 1, 3})
        EXPECT_TRUE(results.row(i).reason.empty()) << i;
}

TEST(CountingRun, ASecondRunAppendsTheSameRowsAgain)
{
    TempFolder folder;
    TargetList targets;
    targets.append(folder.write("a.c", "1\n2\n"));
    targets.append(folder.path());
    ResultList results;
    RunCount(targets, results);
    const std::string first = ResultFileBytes(results);
    RunCount(targets, results);
    EXPECT_EQ(results.rowCount(), 4);
    EXPECT_EQ(ResultFileBytes(results), first + first);
}

TEST(CountingRun, ATargetDroppedTwiceGivesTwoEqualRows)
{
    TempFolder folder;
    const auto file = folder.write("twice.c", "a\nb\nc");
    TargetList targets;
    targets.append(file);
    targets.append(file);
    ResultList results;
    RunCount(targets, results);
    ASSERT_EQ(results.rowCount(), 2);
    EXPECT_EQ(results.row(0).bytes(), "3,\t" + file.native());
    EXPECT_EQ(results.row(1).bytes(), results.row(0).bytes());
}

TEST(CountingRun, KeepsTheTargetPathExactly)
{
    TempFolder folder;
    // Not UTF-8, with a TAB and a leading dash: every byte must survive.
    const auto file = folder.write("-\x83\x65\tx.c", "a\n");
    TargetList targets;
    targets.append(file);
    ResultList results;
    RunCount(targets, results);
    ASSERT_EQ(results.rowCount(), 1);
    EXPECT_EQ(results.row(0).path, file);
    EXPECT_EQ(results.row(0).lines, 1u);
}

}  // namespace
}  // namespace rowtick

#include <gtest/gtest.h>

#include "CountingRun.h"
#include "ResultWriter.h"
#include "TestSupport.h"

namespace rowtick {
namespace {

using test::TempFolder;

// One row per target in target order, whatever the target: files with and
// without lines, a missing one, the same file twice, and a name that is not
// UTF-8 with a TAB and a leading dash, kept to the byte.
TEST(CountingRun, OneRowPerTargetInTargetOrder)
{
    TempFolder folder;
    const auto twice = folder.write("b.c", "one\ntwo\nthree\n");
    TargetList targets;
    for (const auto& path : {twice, folder.write("a.c", ""), folder.path() / "missing.c",
                             folder.write("c.bas", "x\r\ny"), twice, folder.write("-\x83\x65\tx.c", "a\n")})
        targets.append(path);
    const std::vector<std::string> counts = {"3", "0", "-", "2", "3", "1"};

    ResultList results;
    RunCount(targets, results);

    ASSERT_EQ(results.rowCount(), static_cast<std::int64_t>(counts.size()));
    for (std::int64_t i = 0; i < results.rowCount(); ++i) {
        const ResultRow& row = results.row(i);
        EXPECT_EQ(row.path.native(), targets.target(i + 1).native()) << i;
        EXPECT_EQ(row.countText(), counts[i]) << row.path;
        EXPECT_EQ(row.reason.empty(), counts[i] != "-") << row.path << ": " << row.reason;
    }
}

// A run only appends: nothing for the hint row alone, and a second run over
// the same targets appends the same rows again.
TEST(CountingRun, EachRunAppendsItsRows)
{
    TempFolder folder;
    ResultList results;
    RunCount(TargetList{}, results);
    EXPECT_EQ(results.rowCount(), 0);

    TargetList targets;
    targets.append(folder.write("a.c", "1\n2\n"));
    targets.append(folder.path());
    RunCount(targets, results);
    const std::string first = ResultFileBytes(results);
    RunCount(targets, results);
    EXPECT_EQ(results.rowCount(), 4);
    EXPECT_EQ(ResultFileBytes(results), first + first);
}

}  // namespace
}  // namespace rowtick

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Obstacles.h"
#include "ResultWriter.h"
#include "TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rowtick {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using test::TempFolder;

ResultList TwoRows()
{
    ResultList results;
    results.append({"/src/main.bas", 120, {}});
    results.append({"/src/sub folder/util.bas", 7, {}});
    return results;
}

// Everything in `folder` besides `keep`: a save must leave no temporary file behind.
std::vector<fs::path> Leftovers(const fs::path& folder, const fs::path& keep)
{
    std::vector<fs::path> others;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path() != keep)
            others.push_back(entry.path());
    return others;
}

TEST(ResultWriter, TwoRowsGiveTwoCrLfLines)
{
    TempFolder folder;
    const auto file = folder.path() / "result.csv";
    const WriteOutcome outcome = WriteResultFile(file, TwoRows());
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_TRUE(outcome.reason.empty());
    EXPECT_EQ(ReadAll(file), "120,\t/src/main.bas\r\n7,\t/src/sub folder/util.bas\r\n");
    EXPECT_TRUE(Leftovers(folder.path(), file).empty());
}

TEST(ResultWriter, UncountedTargetsKeepTheirLine)
{
    ResultList results;
    results.append({"/src/a.c", 3, {}});
    results.append({"/src/gone.c", std::nullopt, "ファイルが見つかりません"});
    results.append({"/src/b.c", 0, {}});
    EXPECT_EQ(ResultFileBytes(results), "3,\t/src/a.c\r\n-,\t/src/gone.c\r\n0,\t/src/b.c\r\n");
}

TEST(ResultWriter, NoRowsGiveAnEmptyFile)
{
    TempFolder folder;
    const auto file = folder.write("result.csv", "old contents\r\n");
    ASSERT_TRUE(WriteResultFile(file, ResultList{}).ok);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);
}

TEST(ResultWriter, ReplacingALongerFileLeavesOnlyTheNewLines)
{
    TempFolder folder;
    const auto file = folder.write("result.csv", std::string(10000, 'x'));
    ASSERT_TRUE(WriteResultFile(file, TwoRows()).ok);
    EXPECT_EQ(ReadAll(file), ResultFileBytes(TwoRows()));
}

TEST(ResultWriter, PathBytesAreWrittenAsTheFileSystemHoldsThem)
{
    TempFolder folder;
    // A Shift-JIS name from an old archive, and a UTF-8 Japanese name.
    const fs::path sjis = fs::path("/old/\x83\x65\x83\x58\x83\x67.bas");
    const fs::path utf8 = fs::path("/新しい/テスト.bas");
    ResultList results;
    results.append({sjis, 1, {}});
    results.append({utf8, 2, {}});
    const auto file = folder.path() / "\x8c\x8b\x89\xca.csv";  // the result file's own name is not UTF-8 either
    ASSERT_TRUE(WriteResultFile(file, results).ok);
    EXPECT_EQ(ReadAll(file), "1,\t/old/\x83\x65\x83\x58\x83\x67.bas\r\n2,\t/新しい/テスト.bas\r\n");
}

TEST(ResultWriter, ALineBreakInAPathDoesNotSplitTheRow)
{
    ResultList results;
    results.append({"/src/two\nlines.c", 5, {}});
    EXPECT_EQ(ResultFileBytes(results), "5,\t$'/src/two\\nlines.c'\r\n");
}

#ifndef _WIN32

struct RefusedTarget {
    const char* scenario;
    void (*prepare)(const fs::path& file);
    bool asOrdinaryUser = false;  // a case that root's rights would hide
};

class ResultWriterRefusal : public ::testing::TestWithParam<RefusedTarget> {};

// Each refusal names a reason and leaves what was there untouched.
TEST_P(ResultWriterRefusal, ReportsAReasonAndLeavesTheOldFileWhole)
{
    TempFolder folder;
    const auto file = folder.path() / "result.csv";
    GetParam().prepare(file);
    const bool wasFile = fs::is_regular_file(file);
    const std::string before = wasFile ? ReadAll(file) : std::string();

    std::optional<test::OrdinaryUser> user;
    if (GetParam().asOrdinaryUser && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user: root writes anywhere";
    const WriteOutcome outcome = WriteResultFile(file, TwoRows());
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.reason.empty());
    if (wasFile)
        EXPECT_EQ(ReadAll(file), before);
    EXPECT_TRUE(Leftovers(folder.path(), file).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ResultWriterRefusal,
    ::testing::Values(
        RefusedTarget{"read-only file",
                      [](const fs::path& file) {
                          test::TempFolder::writeTo(file, "keep me\r\n");
                          fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
                      }},
        RefusedTarget{"folder of that name", [](const fs::path& file) { fs::create_directory(file); }},
        RefusedTarget{"writable file in a folder without write permission",
                      [](const fs::path& file) {
                          test::TempFolder::writeTo(file, "keep me\r\n");
                          fs::permissions(file, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec
                                                    & ~fs::perms::others_exec);
                          fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec
                                                                  | fs::perms::group_read | fs::perms::group_exec
                                                                  | fs::perms::others_read | fs::perms::others_exec);
                      },
                      true},
        RefusedTarget{"special file of that name",
                      [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); }}),
    test::ScenarioName());

TEST(ResultWriter, MissingFolderIsReported)
{
    TempFolder folder;
    const WriteOutcome outcome = WriteResultFile(folder.path() / "no such folder" / "result.csv", TwoRows());
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.reason.empty());
}

TEST(ResultWriter, AWriteFailingHalfWayLeavesTheOldFileWhole)
{
    TempFolder folder;
    const std::string old = "1,\t/the/previous/result.c\r\n";
    const auto file = folder.write("result.csv", old);
    ResultList many;
    for (int i = 0; i < 2000; ++i)
        many.append({"/src/file" + std::to_string(i) + ".c", static_cast<std::uint64_t>(i), {}});
    ASSERT_GT(ResultFileBytes(many).size(), 8192u);

    WriteOutcome outcome;
    {
        const test::FileSizeLimit limit(8192);
        outcome = WriteResultFile(file, many);
    }
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_TRUE(Leftovers(folder.path(), file).empty());
}

#ifdef __linux__
TEST(ResultWriter, AFullDiskLeavesTheOldFileWhole)
{
    TempFolder folder;
    const test::SmallDisk disk(folder.path() / "disk");
    if (!disk.mounted())
        GTEST_SKIP() << "a small tmpfs for a full disk needs root and a permitted mount";
    const std::string old = "1,\t/the/previous/result.c\r\n";
    const auto file = TempFolder::writeTo(folder.path() / "disk" / "result.csv", old);
    ASSERT_TRUE(disk.fill());
    const auto before = Leftovers(folder.path() / "disk", file);

    const WriteOutcome outcome = WriteResultFile(file, TwoRows());

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, "ディスクの空き容量が足りません");
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(Leftovers(folder.path() / "disk", file), before);
}
#endif

TEST(ResultWriter, KeepsThePermissionsOfTheReplacedFile)
{
    TempFolder folder;
    const auto file = folder.write("result.csv", "old\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteResultFile(file, TwoRows()).ok);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ResultWriter, SavingThroughALinkReplacesTheFileItPointsTo)
{
    TempFolder folder;
    const auto real = folder.write("real.csv", "old\r\n");
    const auto link = folder.path() / "link.csv";
    fs::create_symlink(real, link);
    ASSERT_TRUE(WriteResultFile(link, TwoRows()).ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(real), ResultFileBytes(TwoRows()));
}

#endif

}  // namespace
}  // namespace rowtick

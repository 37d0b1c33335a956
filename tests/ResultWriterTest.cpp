#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Obstacles.h"
#include "ResultWriter.h"
#include "TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace rowtick {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using test::TempFolder;

// Everything under `folder`: a save leaves no temporary file behind.
std::set<fs::path> Listing(const fs::path& folder)
{
    std::set<fs::path> all;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        all.insert(entry.path());
    return all;
}

struct SavedCase {
    const char* scenario;
    std::vector<ResultRow> rows;
    std::string bytes;  // the whole result file
};

class SavedFile : public ::testing::TestWithParam<SavedCase> {};

// Saved as a new file, over a longer one and through a link, the file holds
// exactly the rows: count (or "-"), comma, TAB, path, each ended by CR LF and
// never split by a line break in a path.
TEST_P(SavedFile, HoldsEveryRowOnItsOwnLine)
{
    const SavedCase& c = GetParam();
    ResultList results;
    std::size_t at = 0;
    for (const ResultRow& row : c.rows) {
        results.append(row);
        // The row's own text and count field are what its line holds.
        const std::size_t end = c.bytes.find("\r\n", at);
        EXPECT_EQ(c.bytes.substr(at, end - at), row.bytes());
        EXPECT_EQ(c.bytes.substr(at, row.countText().size() + 1), row.countText() + ",");
        at = end + 2;
    }
    TempFolder folder;
    const auto fresh = folder.path() / "\x8c\x8b\x89\xca.csv";  // the result file's own name is not UTF-8 either
    const auto old = folder.write("old.csv", std::string(10000, 'x'));
    std::set<fs::path> saved = {fresh, old};
#ifndef _WIN32
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(old, perms);
    const auto link = folder.path() / "link.csv";
    fs::create_symlink(old, link);
    saved.insert(link);
#endif
    for (const fs::path& file : saved) {
        const WriteOutcome outcome = WriteResultFile(file, results);
        ASSERT_TRUE(outcome.ok) << outcome.reason;
        EXPECT_TRUE(outcome.reason.empty());
        EXPECT_EQ(ReadAll(file), c.bytes) << file;
    }
    EXPECT_EQ(Listing(folder.path()), saved);
#ifndef _WIN32
    // The link stays a link, and the file it points to keeps its permissions.
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(old).permissions() & fs::perms::mask, perms);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SavedFile,
    ::testing::Values(
        SavedCase{"no rows give an empty file", {}, ""},
        SavedCase{"counted and uncounted rows",
                  {{"/src/main.bas", 120, {}}, {"/src/gone.c", std::nullopt, "ファイルが見つかりません"},
                   {"/huge", 4294967296ULL, {}}},
                  "120,\t/src/main.bas\r\n-,\t/src/gone.c\r\n4294967296,\t/huge\r\n"},
        // A Shift-JIS name from an old archive, a UTF-8 Japanese name, and
        // names whose TABs, quotes and backslashes stay as they are.
        SavedCase{"path bytes as the file system holds them",
                  {{"/old/\x83\x65\xff.bas", 1, {}}, {"/新しい/テスト.bas", 2, {}},
                   {"/src/a\tb 'c' \"d\".txt", 3, {}}, {"/src/a\\nb", 4, {}}},
                  "1,\t/old/\x83\x65\xff.bas\r\n2,\t/新しい/テスト.bas\r\n3,\t/src/a\tb 'c' \"d\".txt\r\n"
                  "4,\t/src/a\\nb\r\n"},
        SavedCase{"a line break in a path is quoted",
                  {{"/src/a\nb", 1, {}}, {"/src/a\rb", std::nullopt, "フォルダです"}, {"/x\\y'\nz", 0, {}}},
                  "1,\t$'/src/a\\nb'\r\n-,\t$'/src/a\\rb'\r\n0,\t$'/x\\\\y\\'\\nz'\r\n"}),
    test::ScenarioName());

#ifndef _WIN32

enum class Obstacle { None, OrdinaryUser, CutOff, FullDisk };

struct RefusedCase {
    const char* scenario;
    fs::path (*prepare)(const fs::path& folder);  // gives the path saved to
    Obstacle obstacle = Obstacle::None;
    const char* reason = nullptr;  // the exact reason, where a particular one is promised
};

fs::path OldFile(const fs::path& folder)
{
    return TempFolder::writeTo(folder / "result.csv", "1,\t/the/previous/result.c\r\n");
}

class RefusedSave : public ::testing::TestWithParam<RefusedCase> {};

// Each refusal names a reason and leaves what was there untouched, with no
// temporary file left behind.
TEST_P(RefusedSave, ReportsAReasonAndLeavesWhatWasThere)
{
    const RefusedCase& c = GetParam();
    TempFolder folder;
#ifdef __linux__
    std::optional<test::SmallDisk> disk;
    if (c.obstacle == Obstacle::FullDisk && !disk.emplace(folder.path() / "disk").mounted())
        GTEST_SKIP() << "a small tmpfs for a full disk needs root and a permitted mount";
#endif
    const fs::path file = c.prepare(folder.path());
#ifdef __linux__
    if (disk)
        ASSERT_TRUE(disk->fill());
#endif
    const bool wasFile = fs::is_regular_file(file);
    const std::string before = wasFile ? ReadAll(file) : std::string();
    const auto listed = Listing(folder.path());
    ResultList results;  // more than the cut-off lets through
    for (int i = 0; i < 2000; ++i)
        results.append({"/src/file" + std::to_string(i) + ".c", static_cast<std::uint64_t>(i), {}});

    WriteOutcome outcome;
    {
        std::optional<test::OrdinaryUser> user;
        if (c.obstacle == Obstacle::OrdinaryUser && !user.emplace().active())
            GTEST_SKIP() << "running as root and cannot act as an ordinary user: root writes anywhere";
        std::optional<test::FileSizeLimit> limit;
        if (c.obstacle == Obstacle::CutOff)
            limit.emplace(8192);
        outcome = WriteResultFile(file, results);
    }
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.reason.empty());
    if (c.reason)
        EXPECT_EQ(outcome.reason, c.reason);
    if (wasFile)
        EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(Listing(folder.path()), listed);
}

std::vector<RefusedCase> RefusedTable()
{
    using Where = const fs::path&;  // the test's folder
    return {
        {"read-only file", [](Where f) { fs::permissions(OldFile(f), fs::perms(0440)); return f / "result.csv"; }},
        {"folder of that name", [](Where f) { fs::create_directory(f / "result.csv"); return f / "result.csv"; }},
        {"writable file in a folder without write permission",
         [](Where f) {
             fs::permissions(OldFile(f), fs::perms(0666));
             fs::permissions(f, fs::perms(0555));
             return f / "result.csv";
         },
         Obstacle::OrdinaryUser},
        {"special file of that name",
         [](Where f) {
             EXPECT_EQ(::mkfifo((f / "result.csv").c_str(), 0644), 0);
             return f / "result.csv";
         }},
        {"missing folder", [](Where f) { return f / "no such folder" / "result.csv"; }},
        {"write cut off part-way", OldFile, Obstacle::CutOff},
#ifdef __linux__
        {"full disk", [](Where f) { return OldFile(f / "disk"); }, Obstacle::FullDisk, "ディスクの空き容量が足りません"},
#endif
    };
}

INSTANTIATE_TEST_SUITE_P(Targets, RefusedSave, ::testing::ValuesIn(RefusedTable()), test::ScenarioName());

#endif

}  // namespace
}  // namespace rowtick

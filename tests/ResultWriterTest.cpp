#include "TestSupport.h"

namespace rowtick { namespace {
using namespace test;

std::set<fs::path> Listing(Where folder) { return {fs::recursive_directory_iterator(folder), {}}; }

#ifdef _WIN32
// The system's ANSI code page (932 under the Japanese locale the tests run in): "?" for a character it lacks.
const fs::path kOddPath = u8"/old/日本\t'한.bas";
const std::string kOddBytes = "/old/\x93\xfa\x96\x7b\t'?.bas";
const fs::path kNewName = u8"結果.csv";
#else
const fs::path kOddPath = "/old/\x83\x65\xff\t'.bas";
const std::string kOddBytes = kOddPath.native();
const fs::path kNewName = "\x8c\x8b.csv";  // not UTF-8
#endif

std::string Slashes(std::string text)  // "/" as the system's separator
{
    std::replace(text.begin(), text.end(), '/', char(fs::path::preferred_separator));
    return text;
}

// Saved new (under a name outside UTF-8 or code page 932) and over a longer file (and on POSIX through a link), the
// file holds exactly the rows: count or "-", comma, TAB, the path's bytes ($'…' quoted with a line break), CR LF; on
// POSIX link and permissions stay.
TEST(WriteResultFile, SavesExactlyTheRowsAndNothingElse)
{
    ResultList results;
    for (const ResultRow& row : {ResultRow{Native("/src/main.bas"), 120, {}},
                                 {Native("/src/gone.c"), std::nullopt, "ファイルが見つかりません"},
                                 {fs::path(kOddPath).make_preferred(), 4294967296ULL, {}},
                                 {Native("/x\\y'\nz"), 0, {}}})
        results.append(row);
    const std::string quoted = fs::path::preferred_separator == '/' ? "$'/x\\\\y\\'\\nz'" : "$'\\\\x\\\\y\\'\\nz'";
    const std::string rows = Slashes("120,\t/src/main.bas\r\n-,\t/src/gone.c\r\n4294967296,\t" + kOddBytes + "\r\n")
                           + "0,\t" + quoted + "\r\n";
    TempFolder folder;
    const fs::path old = folder.write("old.csv", std::string(10000, 'x'));
    std::set<fs::path> saved = {folder.path() / kNewName, old};
#ifndef _WIN32
    const fs::path link = folder.path() / "link.csv";
    fs::permissions(old, fs::perms(0640));
    fs::create_symlink(old, link);
    saved.insert(link);
#endif
    for (const fs::path& file : saved) {
        const WriteOutcome outcome = WriteResultFile(file, results);
        EXPECT_TRUE(outcome.ok && outcome.reason.empty()) << outcome.reason;
        EXPECT_EQ(ReadAll(file), rows) << file << outcome.reason;
    }
    EXPECT_EQ(Listing(folder.path()), saved);
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(old).permissions(), fs::perms(0640));
#endif
}

// Two saves of the same file at once each go through whole under a temporary name of their own: the file ends as
// one of them, and nothing else is left.
TEST(WriteResultFile, TwoSavesAtOnceLeaveOneWholeFile)
{
    ResultList first;
    ResultList second;
    for (int i = 0; i < 20000; ++i) {
        first.append({Native("/first/" + std::to_string(i) + ".c"), std::uint64_t(i), {}});
        second.append({Native("/second/" + std::to_string(i) + ".c"), std::uint64_t(i), {}});
    }
    TempFolder folder;
    const fs::path file = folder.path() / "result.csv";
    for (int round = 0; round < 5; ++round) {
        auto other = std::async(std::launch::async, [&] { return WriteResultFile(file, second); });
        const WriteOutcome mine = WriteResultFile(file, first);
        const WriteOutcome theirs = other.get();
        EXPECT_TRUE(mine.ok) << mine.reason;
        EXPECT_TRUE(theirs.ok) << theirs.reason;
        const std::string saved = ReadAll(file);
        EXPECT_TRUE(saved == ResultFileBytes(first) || saved == ResultFileBytes(second)) << "round " << round;
        EXPECT_EQ(Listing(folder.path()), std::set{file}) << "round " << round;
    }
}

enum class Obstacle { None, OrdinaryUser, CutOff, FullDisk };
struct RefusedCase { const char* scenario; fs::path (*prepare)(Where); Obstacle obstacle = Obstacle::None; };
fs::path OldFile(Where f) { return WriteFile(f / "result.csv", "1,\t/the/previous/result.c\r\n"); }
class RefusedSave : public ::testing::TestWithParam<RefusedCase> {};

// Each refusal gives a reason and leaves what was there untouched, with no temporary file behind.
TEST_P(RefusedSave, ReportsAReasonAndLeavesWhatWasThere)
{
    const RefusedCase& c = GetParam();
    TempFolder folder;
#ifdef _WIN32
    const bool disk = false;  // no small disk is made here
    if (c.obstacle == Obstacle::CutOff && !std::getenv("ROWTICK_TEST_FILE_SIZE_LIMITED"))
        GTEST_SKIP() << "run by the test command under a file size limit";
#else
    std::optional<SmallDisk> disk;
    if (c.obstacle == Obstacle::FullDisk && !disk.emplace(folder.path() / "disk").mounted())
        GTEST_SKIP() << "a small tmpfs needs root and a permitted mount";
#endif
    const fs::path file = c.prepare(folder.path());
#ifndef _WIN32
    ASSERT_TRUE(!disk || disk->fill());
#endif
    const std::string before = fs::is_regular_file(file) ? ReadAll(file) : "";
    const auto listed = Listing(folder.path());
    ResultList results;  // more than the cut-off lets through
    for (int i = 0; i < 2000; ++i)
        results.append({"/src/file" + std::to_string(i) + ".c", std::uint64_t(i), {}});
#ifndef _WIN32
    std::optional<OrdinaryUser> user;
    if (c.obstacle == Obstacle::OrdinaryUser && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";
    std::optional<FileSizeLimit> limit;
    if (c.obstacle == Obstacle::CutOff)
        limit.emplace(8192);
#endif
    const WriteOutcome outcome = WriteResultFile(file, results);
#ifndef _WIN32
    limit.reset();
    user.reset();
#endif
    EXPECT_FALSE(outcome.ok || outcome.reason.empty()) << outcome.reason;
    EXPECT_TRUE(!disk || outcome.reason == "ディスクの空き容量が足りません") << outcome.reason;
    EXPECT_EQ(fs::is_regular_file(file) ? ReadAll(file) : "", before);
    EXPECT_EQ(Listing(folder.path()), listed);
}

INSTANTIATE_TEST_SUITE_P(Targets, RefusedSave, ::testing::Values(
        RefusedCase{"read-only file", [](Where f) {
            fs::permissions(OldFile(f), fs::perms(0440));
            return f / "result.csv";
        }},
        RefusedCase{"folder of that name", [](Where f) {
            fs::create_directory(f / "result.csv");
            return f / "result.csv";
        }},
        RefusedCase{"missing folder", [](Where f) { return f / "no such folder" / "result.csv"; }},
        RefusedCase{"write cut off part-way", OldFile, Obstacle::CutOff},
#ifdef _WIN32
        RefusedCase{"file held open without sharing", [](Where f) { return HoldOpen(OldFile(f)); }}),
#else
        RefusedCase{"full disk", [](Where f) { return OldFile(f / "disk"); }, Obstacle::FullDisk},
        RefusedCase{"special file", [](Where f) {
            ::mkfifo((f / "result.csv").c_str(), 0644);
            return f / "result.csv";
        }},
        RefusedCase{"locked folder", [](Where f) {
            fs::permissions(OldFile(f), fs::perms(0666));
            fs::permissions(f, fs::perms(0555));
            return f / "result.csv";
        }, Obstacle::OrdinaryUser}),
#endif
    ScenarioName);
}}  // namespace rowtick

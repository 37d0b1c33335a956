#include "TestSupport.h"

namespace rowtick { namespace {
using namespace test;

std::set<fs::path> Listing(Where folder) { return {fs::recursive_directory_iterator(folder), {}}; }

// Saved new (under a name not UTF-8), over a longer file and through a link, the file holds exactly the rows:
// count or "-", comma, TAB, the path's bytes ($'…' quoted with a line break), CR LF; link and permissions stay.
TEST(WriteResultFile, SavesExactlyTheRowsAndNothingElse)
{
    ResultList results;
    for (const ResultRow& row : {ResultRow{"/src/main.bas", 120, {}}, {"/src/gone.c", std::nullopt, "ファイルが見つかりません"},
                                 {"/old/\x83\x65\xff\t'.bas", 4294967296ULL, {}}, {"/x\\y'\nz", 0, {}}})
        results.append(row);
    TempFolder folder;
    const fs::path old = folder.write("old.csv", std::string(10000, 'x')), link = folder.path() / "link.csv";
    fs::permissions(old, fs::perms(0640));
    fs::create_symlink(old, link);
    const std::set<fs::path> saved = {folder.path() / "\x8c\x8b.csv", old, link};
    for (const fs::path& file : {*saved.rbegin(), old, link}) {
        const WriteOutcome outcome = WriteResultFile(file, results);
        EXPECT_TRUE(outcome.ok && outcome.reason.empty()) << outcome.reason;
        EXPECT_EQ(ReadAll(file), "120,\t/src/main.bas\r\n-,\t/src/gone.c\r\n4294967296,\t/old/\x83\x65\xff\t'.bas\r\n"
                                 "0,\t$'/x\\\\y\\'\\nz'\r\n") << file;
    }
    EXPECT_EQ(Listing(folder.path()), saved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(old).permissions(), fs::perms(0640));
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
    std::optional<SmallDisk> disk;
    if (c.obstacle == Obstacle::FullDisk && !disk.emplace(folder.path() / "disk").mounted())
        GTEST_SKIP() << "a small tmpfs needs root and a permitted mount";
    const fs::path file = c.prepare(folder.path());
    ASSERT_TRUE(!disk || disk->fill());
    const std::string before = fs::is_regular_file(file) ? ReadAll(file) : "";
    const auto listed = Listing(folder.path());
    ResultList results;  // more than the cut-off lets through
    for (int i = 0; i < 2000; ++i)
        results.append({"/src/file" + std::to_string(i) + ".c", std::uint64_t(i), {}});
    std::optional<OrdinaryUser> user;
    if (c.obstacle == Obstacle::OrdinaryUser && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";
    std::optional<FileSizeLimit> limit;
    if (c.obstacle == Obstacle::CutOff)
        limit.emplace(8192);
    const WriteOutcome outcome = WriteResultFile(file, results);
    limit.reset(), user.reset();
    EXPECT_FALSE(outcome.ok || outcome.reason.empty()) << outcome.reason;
    EXPECT_TRUE(!disk || outcome.reason == "ディスクの空き容量が足りません") << outcome.reason;
    EXPECT_EQ(fs::is_regular_file(file) ? ReadAll(file) : "", before);
    EXPECT_EQ(Listing(folder.path()), listed);
}

INSTANTIATE_TEST_SUITE_P(Targets, RefusedSave, ::testing::Values(
        RefusedCase{"read-only file", [](Where f) { return fs::permissions(OldFile(f), fs::perms(0440)), f / "result.csv"; }},
        RefusedCase{"folder of that name", [](Where f) { return fs::create_directory(f / "result.csv"), f / "result.csv"; }},
        RefusedCase{"special file", [](Where f) { return ::mkfifo((f / "result.csv").c_str(), 0644), f / "result.csv"; }},
        RefusedCase{"missing folder", [](Where f) { return f / "no such folder" / "result.csv"; }},
        RefusedCase{"locked folder", [](Where f) {
            return fs::permissions(OldFile(f), fs::perms(0666)), fs::permissions(f, fs::perms(0555)), f / "result.csv";
        }, Obstacle::OrdinaryUser},
        RefusedCase{"full disk", [](Where f) { return OldFile(f / "disk"); }, Obstacle::FullDisk},
        RefusedCase{"write cut off part-way", OldFile, Obstacle::CutOff}),
    ScenarioName);
}}  // namespace rowtick

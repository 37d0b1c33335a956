#include "TestSupport.h"

#include "SystemError.h"
#include "Texts.h"

#ifndef _WIN32
#include <sys/wait.h>

// Faults made to happen at the system calls the writer makes (the test binary
// is linked with --wrap for them): a refused mode, a failed flush of the
// folder, or the process killed while it flushes the file.
enum class Fault { None, RefusedMode, FolderFlushFails, KilledAtFileFlush };
static Fault injected = Fault::None;

extern "C" int __real_fchmod(int fd, mode_t mode);
extern "C" int __real_fsync(int fd);

extern "C" int __wrap_fchmod(int fd, mode_t mode)
{
    if (injected == Fault::RefusedMode) {
        errno = EPERM;
        return -1;
    }
    return __real_fchmod(fd, mode);
}

extern "C" int __wrap_fsync(int fd)
{
    struct stat info {};
    ::fstat(fd, &info);
    if (injected == Fault::FolderFlushFails && S_ISDIR(info.st_mode)) {
        errno = EIO;
        return -1;
    }
    if (injected == Fault::KilledAtFileFlush && S_ISREG(info.st_mode))
        ::raise(SIGKILL);
    return __real_fsync(fd);
}
#endif  // !_WIN32

namespace rowtick { namespace {
using namespace test;

ResultList ManyRows()  // more than the cut-off lets through
{
    ResultList results;
    for (int i = 0; i < 2000; ++i)
        results.append({Native("/src/file" + std::to_string(i) + ".c"), std::uint64_t(i), {}});
    return results;
}

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

enum class Obstacle { None, OrdinaryUser, CutOff, FullDisk, RefusedMode, CutOffInPlace };
struct RefusedCase { const char* scenario; fs::path (*prepare)(Where); Obstacle obstacle = Obstacle::None; };
fs::path OldFile(Where f) { return WriteFile(f / "result.csv", "1,\t/the/previous/result.c\r\n"); }

#ifndef _WIN32
// A file anyone may write, in a folder of mode `folder` (0555: no new file may be made there).
fs::path WritableOldFileInFolder(Where f, fs::perms folder)
{
    fs::permissions(OldFile(f), fs::perms(0666));
    fs::permissions(f, folder);
    return f / "result.csv";
}
#endif
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
    const ResultList results = ManyRows();
    const bool inPlace = c.obstacle == Obstacle::CutOffInPlace;
#ifndef _WIN32
    std::optional<OrdinaryUser> user;
    if ((c.obstacle == Obstacle::OrdinaryUser || inPlace) && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";
    std::optional<FileSizeLimit> limit;
    if (c.obstacle == Obstacle::CutOff || inPlace)
        limit.emplace(8192);
    if (c.obstacle == Obstacle::RefusedMode)
        injected = Fault::RefusedMode;
#endif
    const WriteOutcome outcome = WriteResultFile(file, results);
#ifndef _WIN32
    injected = Fault::None;
    limit.reset();
    user.reset();
#endif
    EXPECT_FALSE(outcome.ok || outcome.reason.empty()) << outcome.reason;
    EXPECT_TRUE(!disk || outcome.reason == "ディスクの空き容量が足りません") << outcome.reason;
    EXPECT_TRUE(!inPlace || outcome.reason.ends_with(kOldBytesRestored)) << outcome.reason;
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
        RefusedCase{"special file", [](Where f) {
            ::mkfifo((f / "result.csv").c_str(), 0644);
            return f / "result.csv";
        }},
        RefusedCase{"owner cannot be kept", [](Where f) { return WritableOldFileInFolder(f, fs::perms(0777)); },
                    Obstacle::OrdinaryUser},
        RefusedCase{"mode cannot be set", OldFile, Obstacle::RefusedMode},
        RefusedCase{"write in place cut off part-way", [](Where f) { return WritableOldFileInFolder(f, fs::perms(0555)); },
                    Obstacle::CutOffInPlace},
        RefusedCase{"full disk", [](Where f) { return OldFile(f / "disk"); }, Obstacle::FullDisk}),
#endif
    ScenarioName);

#ifndef _WIN32
struct KeptCase {
    const char* scenario;
    fs::path (*prepare)(Where);  // gives the path to save to
    Obstacle obstacle = Obstacle::None;
};
class KeptSave : public ::testing::TestWithParam<KeptCase> {};

// Where a plain overwrite works, the save works too, and the file it writes keeps
// the old file's owner, group, mode, inode and other names; only the file changes.
TEST_P(KeptSave, WritesWhereAPlainOverwriteWouldAndKeepsTheFile)
{
    const KeptCase& c = GetParam();
    TempFolder folder;
    const fs::path path = c.prepare(folder.path());
    const fs::path file = fs::is_symlink(path) ? path.parent_path() / fs::read_symlink(path) : path;
    struct stat before {};
    const bool existed = ::stat(file.c_str(), &before) == 0;
    std::set<fs::path> listed = Listing(folder.path());
    listed.insert(file);
    std::optional<OrdinaryUser> user;
    if (c.obstacle == Obstacle::OrdinaryUser && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";

    const WriteOutcome outcome = WriteResultFile(path, ManyRows());
    user.reset();

    EXPECT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_EQ(ReadAll(file), ResultFileBytes(ManyRows()));
    EXPECT_EQ(Listing(folder.path()), listed);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    if (existed) {
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_nlink, before.st_nlink);
    }
    for (const fs::path& other : Listing(folder.path())) {
        struct stat info {};
        if (::stat(other.c_str(), &info) == 0 && info.st_ino == after.st_ino)
            EXPECT_EQ(ReadAll(other), ReadAll(file)) << other;  // every name of the file
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, KeptSave, ::testing::Values(
        KeptCase{"dangling link", [](Where f) {
            fs::create_symlink("made.csv", f / "link.csv");
            return f / "link.csv";
        }},
        KeptCase{"writable file in a locked folder", [](Where f) { return WritableOldFileInFolder(f, fs::perms(0555)); },
                 Obstacle::OrdinaryUser},
        KeptCase{"owner, group and mode", [](Where f) {
            const fs::path file = OldFile(f);
            if (::geteuid() == 0 && ::chown(file.c_str(), 65534, 100) != 0)
                ADD_FAILURE() << "cannot give the file away";
            fs::permissions(file, fs::perms(0604));
            return file;
        }},
        KeptCase{"second hard link", [](Where f) {
            const fs::path file = OldFile(f);
            fs::create_hard_link(file, f / "other name.csv");
            return file;
        }}),
    ScenarioName);

// A failed flush of the folder after the rename is reported: the save may not last.
TEST(WriteResultFile, ReportsAFolderThatCannotBeFlushed)
{
    TempFolder folder;
    const fs::path file = OldFile(folder.path());
    injected = Fault::FolderFlushFails;
    const WriteOutcome outcome = WriteResultFile(file, ManyRows());
    injected = Fault::None;
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, SystemErrorReason(EIO));
}

// A save killed before the new file is complete leaves the old file whole and nothing else.
TEST(WriteResultFile, KilledPartWayLeavesNothingBehind)
{
    TempFolder folder;
    const fs::path file = OldFile(folder.path());
    const std::string before = ReadAll(file);
    const auto listed = Listing(folder.path());
    const ResultList results = ManyRows();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        injected = Fault::KilledAtFileFlush;
        WriteResultFile(file, results);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(Listing(folder.path()), listed);
}
#endif  // !_WIN32

// Every system error has a Japanese reason; the system's own text comes only after it.
TEST(SystemErrorReason, IsJapaneseForEveryCode)
{
    for (int error = 1; error < 134; ++error) {
        const std::string reason = SystemErrorReason(error);
        ASSERT_FALSE(reason.empty()) << error;
        const std::string text = reason.substr(0, reason.find(" ("));
        const bool english = std::any_of(text.begin(), text.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
        EXPECT_FALSE(english) << error << ": " << reason;
    }
}
}}  // namespace rowtick

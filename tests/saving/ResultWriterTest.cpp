#include "TestSupport.h"

#include "Texts.h"
#include "saving/LeftoverName.h"
#include "saving/Sha256.h"

// Faults made to happen at the system calls the writer makes (the test binary is linked with --wrap for them): a
// refused mode, a failed flush of the folder, a file system without locks, or the process killed while it flushes a
// file (`injectedFile`, or any when 0) or just after it cuts one. Calls of umask are counted.
enum class Fault { None, RefusedMode, FolderFlushFails, NoLocks, KilledAtFlush, KilledAfterCut };
#ifndef _WIN32
#include <cstdarg>
#include <cstring>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <sys/xattr.h>

static Fault injected = Fault::None;
static ino_t injectedFile = 0;
static int umaskCalls = 0;

extern "C" int __real_fchmod(int fd, mode_t mode);
extern "C" int __real_fsync(int fd);
extern "C" int __real_ftruncate(int fd, off_t length);
extern "C" mode_t __real_umask(mode_t mask);
extern "C" int __real_fcntl(int fd, int command, void* argument);

extern "C" int __wrap_fcntl(int fd, int command, ...)
{
    std::va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (injected == Fault::NoLocks && command == F_OFD_SETLK) {
        errno = ENOLCK;
        return -1;
    }
    return __real_fcntl(fd, command, argument);
}

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
    if (injected == Fault::KilledAtFlush && S_ISREG(info.st_mode) && (injectedFile == 0 || info.st_ino == injectedFile))
        ::raise(SIGKILL);
    return __real_fsync(fd);
}

extern "C" int __wrap_ftruncate(int fd, off_t length)
{
    const int result = __real_ftruncate(fd, length);
    if (injected == Fault::KilledAfterCut)
        ::raise(SIGKILL);
    return result;
}

extern "C" mode_t __wrap_umask(mode_t mask)
{
    ++umaskCalls;
    return __real_umask(mask);
}
#else
#include <aclapi.h>
#include <sddl.h>
#endif

namespace rowtick { namespace {
using namespace test;

// More rows than the cut-off lets through.
ResultList ManyRows()
{
    ResultList results;
    for (int i = 0; i < 2000; ++i)
        results.append({Native("/src/file" + std::to_string(i) + ".c"), std::uint64_t(i), {}});
    return results;
}

std::set<fs::path> Listing(Where folder) { return {fs::recursive_directory_iterator(folder), {}}; }

TEST(Sha256, GivesTheKnownDigests)
{
    EXPECT_EQ(Sha256::Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256::Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256::Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A second save of the file, made while the first has cut it and not yet written it: it must not write.
WriteOutcome secondSave;
void SaveAgain(const fs::path& path)
{
    ResultWriterSeams::betweenCutAndWrite = nullptr;
    ResultWriterSeams::lockWait = 100ms;
    ResultList few;
    few.append({Native("/src/second.c"), 5, {}});
    secondSave = WriteResultFile(path, few);
    ResultWriterSeams::lockWait = 3000ms;
}

// Two names that share their first 150 bytes (as the old names of leftovers kept them): B's copy is not A's.
const std::string kLongA = std::string(150, 'n') + std::string(50, 'a') + ".csv";
const std::string kLongB = std::string(150, 'n') + std::string(50, 'b') + ".csv";
// Two names of bytes that are not text.
const std::string kOddA = std::string(200, '\x80');
const std::string kOddB = std::string(199, '\x80') + "\xbf";

#ifdef _WIN32
bool UnderWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The system's ANSI code page (932 under the Japanese locale the tests run in): "?" for a character it lacks.
const fs::path kOddPath = u8"/old/日本\t'한.bas";
const std::string kOddBytes = "/old/\x93\xfa\x96\x7b\t'?.bas";
const fs::path kNewName = u8"結果.csv";
#else
const fs::path kOddPath = "/old/\x83\x65\xff\t'.bas";
const std::string kOddBytes = kOddPath.native();
const fs::path kNewName = "\x8c\x8b.csv";  // not UTF-8
#endif

// Saved new (under a name outside UTF-8 or code page 932) and over a longer file, the file holds exactly the rows:
// count or "-", comma, TAB, the path's bytes ($'…' quoted with a line break), CR LF.
TEST(WriteResultFile, SavesExactlyTheRowsAndNothingElse)
{
    ResultList results;
    for (const ResultRow& row : {ResultRow{Native("/src/main.bas"), 120, {}},
                                 {Native("/src/gone.c"), std::nullopt, "ファイルが見つかりません"},
                                 {fs::path(kOddPath).make_preferred(), 4294967296ULL, {}},
                                 {Native("/x\\y'\nz"), 0, {}}})
        results.append(row);
    const std::string quoted = fs::path::preferred_separator == '/' ? "$'/x\\\\y\\'\\nz'" : "$'\\\\x\\\\y\\'\\nz'";
    std::string rows = "120,\t/src/main.bas\r\n-,\t/src/gone.c\r\n4294967296,\t" + kOddBytes + "\r\n";
    std::replace(rows.begin(), rows.end(), '/', char(fs::path::preferred_separator));
    rows += "0,\t" + quoted + "\r\n";
    TempFolder folder;
    const std::set<fs::path> saved = {folder.path() / kNewName, folder.write("old.csv", std::string(10000, 'x'))};
    for (const fs::path& file : saved) {
        const WriteOutcome outcome = WriteResultFile(file, results);
        EXPECT_TRUE(outcome.ok && outcome.reason.empty()) << outcome.reason;
        EXPECT_EQ(ReadAll(file), rows) << file << outcome.reason;
    }
    EXPECT_EQ(Listing(folder.path()), saved);
}

fs::path OldFile(Where f) { return WriteFile(f / "result.csv", "1,\t/the/previous/result.c\r\n"); }

// Leftovers of saves in an earlier boot, with the names they would have: this computer's go, another's stay.
constexpr std::string_view kGoes = "a leftover of this computer";
fs::path EarlierLeftovers(Where f)
{
    for (const char* machine : {"this computer", "another computer"}) {
        const SaverIdentity saver{machine, "an earlier boot", 4000, 12345};
        const std::string name = LeftoverName::Of(LeftoverName::Kind::NewFile, "result.csv", saver).name();
        WriteFile(f / fs::path(std::u8string(name.begin(), name.end())), machine == "this computer"sv ? kGoes : "stays");
    }
    return OldFile(f);
}

fs::path HardLinkedOldFile(Where f)
{
    const fs::path file = OldFile(f);
    fs::create_hard_link(file, f / "other name.csv");
    return file;
}

#ifdef _WIN32
// A file's owner and ACL as text ("O:...D:..."); "?" where they cannot be read.
std::string Security(const fs::path& file, SECURITY_INFORMATION which = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, which, nullptr, nullptr, nullptr, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return "?";
    char* text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, which, &text, nullptr);
    const std::string security = text != nullptr ? text : "?";
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return security;
}

// What a save keeps of a file besides its bytes: its attributes, its stream, its owner and its ACL, as one text.
std::string Extras(const fs::path& file)
{
    return std::to_string(::GetFileAttributesW(file.c_str())) + " " + ReadAll(file.native() + L":origin") + " "
           + Security(file);
}

// True where an ACL's text grants access to some and only to the system and users (S-1-5-21-...), not to a group
// such as Everyone (WD), Users (BU) or Authenticated Users (AU).
bool UserAndSystemOnly(const std::string& acl)
{
    const std::regex grant(R"(\(A;[^;]*;[^;]*;[^;]*;[^;]*;([^)]*)\))");
    int grants = 0;
    for (std::sregex_iterator at(acl.begin(), acl.end(), grant), end; at != end; ++at) {
        const std::string trustee = (*at)[1];
        if (trustee != "SY" && !trustee.starts_with("S-1-5-21-"))
            return false;
        ++grants;
    }
    return grants > 0;
}

// The ACL of the copy of the old bytes, taken while the file is rewritten in place.
std::string copyAcl;
void LookAtTheCopy(const fs::path& path)
{
    ResultWriterSeams::betweenCutAndWrite = nullptr;
    for (const fs::path& entry : fs::directory_iterator(path.parent_path()))
        if (entry.extension() == ".old")
            copyAcl = Security(entry, DACL_SECURITY_INFORMATION);
}

#else
// The owner, group, mode, link count, ACL, extended attributes and flags of a file, as one text to compare.
std::string Extras(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    ::fstat(fd, &info);
    std::string extras = std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid) + " "
                       + std::to_string(info.st_mode) + " " + std::to_string(info.st_nlink) + "\n";
    char names[4096] = {};
    const ssize_t listed = std::max<ssize_t>(::flistxattr(fd, names, sizeof names), 0);
    for (const char* name = names; name < names + listed; name += std::strlen(name) + 1) {
        char value[4096] = {};
        const ssize_t size = std::max<ssize_t>(::fgetxattr(fd, name, value, sizeof value), 0);
        extras += std::string(name) + "=" + std::string(value, std::size_t(size)) + "\n";
    }
    int flags = 0;
    ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
    ::close(fd);
    return extras + "flags " + std::to_string(flags);
}

void Run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        ADD_FAILURE() << command;
}

// A file anyone may write, in a folder of mode `folder` (0555: no new file may be made there).
fs::path WritableOldFileInFolder(Where f, fs::perms folder)
{
    fs::permissions(OldFile(f), fs::perms(0666));
    fs::permissions(f, folder);
    return f / "result.csv";
}

void GiveAway(const fs::path& file, uid_t owner, gid_t group)  // as root only
{
    if (::geteuid() == 0 && ::lchown(file.c_str(), owner, group) != 0)
        ADD_FAILURE() << "cannot give " << file << " away";
}

// Between the look and the open, the name changes places with "swap", another name of another file.
void SwapName(const fs::path& path)
{
    ::renameat2(AT_FDCWD, (path.parent_path() / "swap").c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
}
#endif

enum class Obstacle { None, OrdinaryUser, GroupMember, AsRoot, CutOff, CutOffInPlace, FullDisk, Swapped, RefusedMode,
                      FolderFlushFails, NoLocks, NotUnderWine, KilledInPlace, WithoutProc, OtherComputer,
                      SecondSaveAtCut, PrivateCopy, ThisComputer };
struct SaveCase {
    const char* scenario;
    fs::path (*prepare)(Where);  // gives the path to save to
    Obstacle obstacle = Obstacle::None;
    std::optional<std::string_view> reason = {};  // what the refusal says, or a part of it; none: saved
    Fault killed = Fault::None;  // how a save before it is killed (in place: at the file itself, not the new file)
    const std::string* killedName = nullptr;  // the file in the folder the killed save writes, when not the same one
};
class Save : public ::testing::TestWithParam<SaveCase> {};

// Where a plain overwrite works, the save works too, and the file it writes keeps the old file's owner, group, mode,
// ACL, attributes, flags, streams and other names; a link's file is written; a new file is made as any other (umask,
// the folder's default ACL), and the process's umask is never touched. Where it does not, the refusal gives its
// reason and leaves what was there untouched. No temporary file is left either way. A save before it, killed on any
// path, leaves the old file or the new one whole, or a complete copy of the old bytes beside it (an unnamed new file
// leaves nothing), which the save removes. Without /proc a save goes through a named temporary file.
TEST_P(Save, WritesWhereAPlainOverwriteWouldOrLeavesWhatWasThere)
{
    const SaveCase& c = GetParam();
    TempFolder folder;
#ifndef _WIN32
    // The user's temporary folder, where a copy goes from a folder that takes no new file: it is listed too.
    fs::create_directory(folder.path() / "tmp");
    fs::permissions(folder.path() / "tmp", fs::perms(01777));
    ::setenv("TMPDIR", (folder.path() / "tmp").c_str(), 1);
#endif
#ifdef _WIN32
    if (c.obstacle == Obstacle::NotUnderWine && UnderWine())
        GTEST_SKIP() << "Wine does not keep this (see README)";
    if (c.obstacle == Obstacle::CutOff && !std::getenv("ROWTICK_TEST_FILE_SIZE_LIMITED"))
        GTEST_SKIP() << "run by the test command under a file size limit";
#else
    if (c.obstacle == Obstacle::AsRoot && !OrdinaryUser().active())
        GTEST_SKIP() << "another user's file needs root";
    std::optional<SmallDisk> disk;
    if (c.obstacle == Obstacle::FullDisk && !disk.emplace(folder.path() / "disk").mounted_)
        GTEST_SKIP() << "a small tmpfs needs root and a permitted mount";
#endif
    const fs::path path = c.prepare(folder.path());
#ifndef _WIN32
    ASSERT_TRUE(!disk || disk->fill());
#endif
    const bool saved = !c.reason;
    const fs::path file = fs::is_symlink(path) ? path.parent_path() / fs::read_symlink(path) : path;
    const bool existed = fs::is_regular_file(file);
    const std::string before = existed ? ReadAll(file) : "";
    const std::string extras = existed ? Extras(file) : "";
    std::set<fs::path> listed = Listing(folder.path());
    if (saved)
        listed.insert(file);
    std::erase_if(listed, [](const fs::path& entry) { return fs::is_regular_file(entry) && ReadAll(entry) == kGoes; });
#ifndef _WIN32
    const bool withoutProc = c.obstacle == Obstacle::WithoutProc;
    const bool otherComputer = c.obstacle == Obstacle::OtherComputer;
    if (c.killed != Fault::None || withoutProc) {
        const fs::path killedFile = c.killedName ? folder.path() / *c.killedName : file;
        struct stat info {};
        ::stat(killedFile.c_str(), &info);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if ((withoutProc && !HideProc()) || otherComputer)
                ResultWriterSeams::openFiles = "/no/proc/here";
            if (otherComputer)
                ResultWriterSeams::machine = "another computer";
            injectedFile = c.obstacle == Obstacle::KilledInPlace ? info.st_ino : 0;
            injected = c.killed;
            const WriteOutcome outcome = WriteResultFile(killedFile, ManyRows());
            ::_exit(outcome.ok && ReadAll(killedFile) == ResultFileBytes(ManyRows()) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, c.killed != Fault::None);
        EXPECT_EQ(WIFEXITED(status) && WEXITSTATUS(status) == 0, c.killed == Fault::None);
        std::set<std::string> left;  // what the killed save left besides the file
        for (const fs::path& entry : Listing(folder.path())) {
            if (listed.contains(entry))
                continue;
            left.insert(ReadAll(entry));
            // Not this save's to remove: another file's copy, another computer's file, one of a process whose start
            // was not known (no /proc).
            const auto parts = LeftoverName::Parse(entry.filename().string());
            if (c.killedName || otherComputer || (parts && parts->started == 0))
                listed.insert(entry);
        }
        const std::string now = ReadAll(file);
        EXPECT_TRUE(now == before || now == ResultFileBytes(ManyRows()) || left.contains(before));
        EXPECT_TRUE(left.empty() || c.obstacle != Obstacle::None);
    }
    std::optional<OrdinaryUser> user;
    if ((c.obstacle == Obstacle::OrdinaryUser || c.obstacle == Obstacle::CutOffInPlace) && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";
    if (c.obstacle == Obstacle::GroupMember && !user.emplace(65533, 4242).active())
        GTEST_SKIP() << "running as root and cannot act as a colleague";
    std::optional<FileSizeLimit> limit;
    if (c.obstacle == Obstacle::CutOff || c.obstacle == Obstacle::CutOffInPlace)
        limit.emplace(8192);
    if (c.obstacle == Obstacle::Swapped)
        ResultWriterSeams::betweenLookAndOpen = SwapName;
    injected = c.obstacle == Obstacle::RefusedMode ? Fault::RefusedMode
             : c.obstacle == Obstacle::FolderFlushFails ? Fault::FolderFlushFails
             : c.obstacle == Obstacle::NoLocks ? Fault::NoLocks : Fault::None;
    umaskCalls = 0;
#endif
    if (c.obstacle == Obstacle::SecondSaveAtCut)
        ResultWriterSeams::betweenCutAndWrite = SaveAgain;
    if (c.obstacle == Obstacle::ThisComputer)
        ResultWriterSeams::machine = "this computer";
#ifdef _WIN32
    if (c.obstacle == Obstacle::PrivateCopy)
        ResultWriterSeams::betweenCutAndWrite = LookAtTheCopy;
#endif
    const WriteOutcome outcome = WriteResultFile(path, ManyRows());
    ResultWriterSeams::betweenCutAndWrite = nullptr;
    ResultWriterSeams::machine = nullptr;
    if (c.obstacle == Obstacle::SecondSaveAtCut)
        EXPECT_EQ(secondSave.reason, kSavingElsewhere);
#ifdef _WIN32
    if (c.obstacle == Obstacle::PrivateCopy)  // the user's alone, whoever may read the folder
        EXPECT_TRUE(UserAndSystemOnly(copyAcl)) << copyAcl;
#endif
#ifndef _WIN32
    injected = Fault::None;
    ResultWriterSeams::betweenLookAndOpen = nullptr;
    limit.reset();
    user.reset();
    EXPECT_EQ(umaskCalls, 0);
#endif
    EXPECT_EQ(outcome.ok, saved) << outcome.reason;
    EXPECT_TRUE(outcome.reason.find(c.reason.value_or("")) != std::string::npos && outcome.reason.empty() == saved) << outcome.reason;
    EXPECT_EQ(outcome.warning, c.obstacle == Obstacle::FolderFlushFails ? kNameMayNotSurvive : "");
    EXPECT_EQ(fs::is_regular_file(file) ? ReadAll(file) : "", saved ? ResultFileBytes(ManyRows()) : before);
    EXPECT_EQ(Listing(folder.path()), listed);
    if (saved && !existed)  // as a file made by a plain write
        EXPECT_EQ(Extras(file), Extras(WriteFile(file.parent_path() / "touched", "")));
    else if (existed)
        EXPECT_EQ(Extras(file), extras);
    for (const fs::path& other : Listing(folder.path())) {
        std::error_code error;
        if (saved && fs::equivalent(other, file, error))
            EXPECT_EQ(ReadAll(other), ReadAll(file)) << other;  // every name of the file
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, Save, ::testing::Values(
        SaveCase{"second hard link", HardLinkedOldFile},
        SaveCase{"second save while the first rewrites in place", HardLinkedOldFile, Obstacle::SecondSaveAtCut},
        SaveCase{"the user's own files named like leftovers", [](Where f) {
            WriteFile(f / ".notes.rowtick-999999-vm-draft1.new", "the user's draft");
            WriteFile(f / ".notes.rowtick-999999-12345-0123456789abcdef-draft1-0123456789abcdef0123456789abcdef.new", "too");
            WriteFile(f / ".notes.rowtick-1-99999999999999999999-0123456789abcdef-draft1-0123456789abcdef0123456789abcdef.old", "and");
            return OldFile(f);
        }},
        SaveCase{"leftovers of an earlier boot, this computer's and another's", EarlierLeftovers, Obstacle::ThisComputer},
        SaveCase{"read-only file", [](Where f) {
            fs::permissions(OldFile(f), fs::perms(0440));
            return f / "result.csv";
        }, Obstacle::None, kReadOnlyFile},
        SaveCase{"folder of that name", [](Where f) {
            fs::create_directory(f / "result.csv");
            return f / "result.csv";
        }, Obstacle::None, kFolderOfThatName},
#ifdef _WIN32
        SaveCase{"missing folder", [](Where f) { return f / "no such folder" / "result.csv"; }, Obstacle::None, kCannotCreate},
        SaveCase{"write cut off part-way", OldFile, Obstacle::CutOff, ""},  // Wine's reason says nothing
        SaveCase{"file held open without sharing", [](Where f) { return HoldOpen(OldFile(f)); }, Obstacle::None, kErrInUseByOther},
        SaveCase{"link to a file", [](Where f) {
            ::CreateSymbolicLinkW((f / "link.csv").c_str(), OldFile(f).c_str(), 0);
            return f / "link.csv";
        }, Obstacle::NotUnderWine},
        SaveCase{"copy of the old bytes, its user's alone", HardLinkedOldFile, Obstacle::PrivateCopy},
        SaveCase{"another owner's file", [](Where f) {
            const fs::path file = OldFile(f);
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BA", SDDL_REVISION_1, &descriptor, nullptr);
            ::SetFileSecurityW(file.c_str(), OWNER_SECURITY_INFORMATION, descriptor);
            ::LocalFree(descriptor);
            return file;
        }},
        SaveCase{"hidden file with a stream", [](Where f) {
            const fs::path file = OldFile(f);
            WriteFile(file.native() + L":origin", "kept");
            ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
            return file;
        }, Obstacle::NotUnderWine}),
#else
        SaveCase{"missing folder", [](Where f) { return f / "no such folder" / "result.csv"; }, Obstacle::None, kErrNotFoundEither},
        SaveCase{"write cut off part-way", OldFile, Obstacle::CutOff, "ファイルが大きすぎます"},
        SaveCase{"special file", [](Where f) {
            ::mkfifo((f / "result.csv").c_str(), 0644);
            return f / "result.csv";
        }, Obstacle::None, kNotRegular},
        SaveCase{"another user's link in a sticky folder", [](Where f) {
            fs::create_directory(f / "shared");
            fs::permissions(f / "shared", fs::perms(01777));
            fs::create_symlink(WriteFile(f / "important.txt", "the user's own text\n"), f / "shared" / "result.csv");
            GiveAway(f / "shared" / "result.csv", 65534, 65534);
            return f / "shared" / "result.csv";
        }, Obstacle::AsRoot, kPlantedLink},
        SaveCase{"name swapped between the look and the open", [](Where f) {
            const fs::path file = HardLinkedOldFile(f);
            fs::create_hard_link(WriteFile(f / "elsewhere.txt", ReadAll(file)), f / "swap");  // the same bytes
            return file;
        }, Obstacle::Swapped, kSwapped},
        SaveCase{"write in place cut off part-way", [](Where f) { return WritableOldFileInFolder(f, fs::perms(0555)); },
                 Obstacle::CutOffInPlace, kOldBytesRestored},
        SaveCase{"full disk", [](Where f) { return OldFile(f / "disk"); }, Obstacle::FullDisk, kOldFileUntouched},
        SaveCase{"link to a file", [](Where f) {
            fs::permissions(OldFile(f), fs::perms(0640));
            fs::create_symlink("result.csv", f / "link.csv");
            return f / "link.csv";
        }},
        SaveCase{"dangling link", [](Where f) {
            fs::create_symlink("made.csv", f / "link.csv");
            return f / "link.csv";
        }},
        SaveCase{"writable file in a locked folder", [](Where f) { return WritableOldFileInFolder(f, fs::perms(0555)); },
                 Obstacle::OrdinaryUser},
        SaveCase{"owner, group and mode", [](Where f) {
            const fs::path file = OldFile(f);
            GiveAway(file, 65534, 100);
            fs::permissions(file, fs::perms(0604));
            return file;
        }},
        SaveCase{"a colleague's file in a shared group folder", [](Where f) {
            fs::create_directory(f / "shared");
            const fs::path file = OldFile(f / "shared");
            GiveAway(f / "shared", 65534, 4242);
            GiveAway(file, 65534, 4242);
            fs::permissions(f / "shared", fs::perms(02775));
            fs::permissions(file, fs::perms(0664));
            return file;
        }, Obstacle::GroupMember},
        SaveCase{"mode a new file cannot take", OldFile, Obstacle::RefusedMode},
        SaveCase{"hard link on a file system without locks", HardLinkedOldFile, Obstacle::NoLocks},
        SaveCase{"folder its user may write but not list", [](Where f) {
            const fs::path file = OldFile(f);
            GiveAway(file, 65534, 65534);
            fs::permissions(f, fs::perms(0333));
            return file;
        }, Obstacle::OrdinaryUser},
        SaveCase{"folder that cannot be flushed", OldFile, Obstacle::FolderFlushFails},
        SaveCase{"ACL, attributes and flags", [](Where f) {
            const fs::path file = OldFile(f);
            Run("setfacl -m u:65534:rw,g::r " + file.native());
            Run("setfattr -n user.origin -v kept " + file.native());
            Run("chattr +d +t " + file.native());
            return file;
        }},
        SaveCase{"new file in a folder with a default ACL", [](Where f) {
            Run("setfacl -d -m u:65534:rw,g::r,o::- " + f.native());
            return f / "new.csv";
        }},
        SaveCase{"after a save killed at the flush", OldFile, Obstacle::None, {}, Fault::KilledAtFlush},
        SaveCase{"after a save in place killed at the flush", HardLinkedOldFile, Obstacle::KilledInPlace, {}, Fault::KilledAtFlush},
        SaveCase{"after a save in place killed after the cut", HardLinkedOldFile, Obstacle::KilledInPlace, {}, Fault::KilledAfterCut},
        SaveCase{"after a save without proc, through a named temporary", OldFile, Obstacle::WithoutProc},
        SaveCase{"after a save without proc killed at the flush", OldFile, Obstacle::WithoutProc, {}, Fault::KilledAtFlush},
        SaveCase{"after another computer's save killed at the flush", OldFile, Obstacle::OtherComputer, {}, Fault::KilledAtFlush},
        SaveCase{"after a save of a name sharing 150 bytes, killed after the cut", [](Where f) {
            fs::create_hard_link(WriteFile(f / kLongB, "B's only rows\r\n"), f / "B's other name");
            return WriteFile(f / kLongA, "A's rows\r\n");
        }, Obstacle::KilledInPlace, {}, Fault::KilledAfterCut, &kLongB},
        SaveCase{"after a save of a name of other bytes, killed after the cut", [](Where f) {
            fs::create_hard_link(WriteFile(f / kOddB, "B's only rows\r\n"), f / "B's other name");
            return WriteFile(f / kOddA, "A's rows\r\n");
        }, Obstacle::KilledInPlace, {}, Fault::KilledAfterCut, &kOddB}),
#endif
    ScenarioName);

}}  // namespace rowtick

// Saving the result file on POSIX systems: the chosen name is opened once,
// SaveDecision says what to do with what was opened, and every later step
// works on that open file.
#include "ResultWriter.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include "Descriptor.h"
#include "LeftoverName.h"
#include "SaveDecision.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

using Way = SaveDecision::Way;
constexpr std::size_t kBlock = 64 * 1024;  // files are copied in blocks this small
constexpr const char* kAcl = "system.posix_acl_access";

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason), {}};
}

WriteOutcome FailedWith(int error)
{
    return Failed(SystemErrorReason(error));
}

bool WriteAllAt(int fd, const char* p, std::size_t left, off_t at)
{
    while (left > 0) {
        const ssize_t put = ::pwrite(fd, p, left, at);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        p += put;
        at += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

// Every byte of `from` into `to`, both from their start; false with errno set.
bool CopyBytes(int from, int to)
{
    std::vector<char> block(kBlock);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(from, block.data(), block.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        if (!WriteAllAt(to, block.data(), static_cast<std::size_t>(got), at))
            return false;
        at += got;
    }
}

std::string FirstLine(const char* file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The process's start, in clock ticks after the boot, from /proc/PID/stat; 0
// where it cannot be read, with errno ENOENT where there is no such process.
std::uint64_t Started(long process)
{
    const Descriptor file(::open(("/proc/" + std::to_string(process) + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return 0;
    char space[1024] = {};
    const ssize_t got = ::read(file.get(), space, sizeof space - 1);
    errno = 0;
    const std::string_view stat(space, got > 0 ? static_cast<std::size_t>(got) : 0);
    // After the name in brackets (which may hold anything): the state, then the 22nd field in all.
    std::size_t at = stat.rfind(')');
    for (int field = 2; field < 22 && at != std::string_view::npos; ++field)
        at = stat.find(' ', at + 1);
    return at == std::string_view::npos ? 0 : std::strtoull(space + at + 1, nullptr, 10);
}

// This process on this computer. Processes in another PID namespace (a
// container, a sandbox) number theirs anew: the namespace is part of the computer.
SaverIdentity Saver()
{
    SaverIdentity saver;
    const std::string machine = FirstLine("/etc/machine-id");
    char space[256] = {};
    const ssize_t size = ::readlink("/proc/self/ns/pid", space, sizeof space - 1);
    if (ResultWriterSeams::machine != nullptr)
        saver.machine = ResultWriterSeams::machine;
    else if (!machine.empty() && size > 0)
        saver.machine = machine + "\n" + std::string(space, static_cast<std::size_t>(size));
    saver.boot = FirstLine("/proc/sys/kernel/random/boot_id");
    saver.process = static_cast<long>(::getpid());
    saver.started = Started(saver.process);
    return saver;
}

// False only where there is no such process now, or another one has its number.
bool Alive(long process, std::uint64_t started)
{
    const std::uint64_t now = Started(process);
    return now == 0 ? errno != ENOENT : now == started;
}

// A new file of this process in `folder`, named for `leaf`; the descriptor,
// or -1 with errno set. The kernel gives it `mode` less the umask, or the
// folder's default ACL.
int CreateLeftover(int folder, LeftoverName::Kind kind, const std::string& leaf, mode_t mode, std::string& name)
{
    const SaverIdentity saver = Saver();
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = LeftoverName::Of(kind, leaf, saver).name();
        const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A name in a folder, removed when it goes unless kept.
struct LeftoverGuard {
    int folder = -1;
    std::string name;
    bool kept = false;
    ~LeftoverGuard()
    {
        if (!name.empty() && !kept)
            ::unlinkat(folder, name.c_str(), 0);
    }
};

// Removes from `folder` what saves left that are proved to be this program's
// own, made on this computer by this user in a process that is gone: their new
// files, and with `copies` their copies of the old bytes of `leaf` (a copy of
// another file's old bytes may be all that is left of them). True where such
// copies are there and were left. Anything else stays, whatever its name.
bool RemoveLeftovers(int folder, const std::string& leaf, bool copies)
{
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool copiesLeft = false;
    const SaverIdentity saver = Saver();
    std::vector<std::string> gone;
    while (const dirent* entry = ::readdir(dir)) {
        const auto parts = LeftoverName::Parse(entry->d_name);
        if (!parts || !parts->gone(saver, Alive))
            continue;
        const bool copy = parts->kind == LeftoverName::Kind::OldCopy && parts->madeFor(leaf, saver);
        copiesLeft = copiesLeft || (copy && !copies);
        if (parts->kind == LeftoverName::Kind::NewFile || (copy && copies))
            gone.emplace_back(entry->d_name);
    }
    for (const std::string& name : gone) {
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == ::geteuid() && info.st_nlink == 1)
            ::unlinkat(fd, name.c_str(), 0);
    }
    ::closedir(dir);
    return copiesLeft;
}

// What is at the chosen name, opened.
struct Opened {
    Descriptor file;
    struct stat info {};
    SaveDecision::Found found;
};

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT);
}

// Looks at `leaf` without following a link, follows a link only where the
// kernel's rule for shared folders lets this user follow it, opens what was
// looked at and compares it with what was opened. False with errno set.
bool LookAndOpen(int folder, const std::string& leaf, const std::filesystem::path& path, Opened& opened)
{
    SaveDecision::Found& found = opened.found;
    struct stat looked {};
    if (::fstatat(folder, leaf.c_str(), &looked, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;  // nothing there: a new file
    found.link = S_ISLNK(looked.st_mode);
    struct stat target = looked;
    bool targetExists = true;
    if (found.link) {
        struct stat where {};
        if (::fstat(folder, &where) != 0)
            return false;
        const bool shared = (where.st_mode & S_ISVTX) != 0 && (where.st_mode & S_IWOTH) != 0;
        found.plantedLink = shared && looked.st_uid != ::geteuid() && looked.st_uid != where.st_uid;
        if (found.plantedLink)
            return true;
        if (::fstatat(folder, leaf.c_str(), &target, 0) != 0) {
            if (errno != ENOENT)
                return false;
            targetExists = false;
        }
    }
    if (targetExists && !S_ISREG(target.st_mode)) {
        // Never opened: a FIFO would wait for a reader, a device would act.
        found.exists = true;
        found.folder = S_ISDIR(target.st_mode);
        found.regular = false;
        return true;
    }
    if (ResultWriterSeams::betweenLookAndOpen != nullptr)
        ResultWriterSeams::betweenLookAndOpen(path);

    // A dangling link: the file it names is made, as writing to the link would.
    const int how = O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (found.link ? (targetExists ? 0 : O_CREAT) : O_NOFOLLOW);
    int fd = ::openat(folder, leaf.c_str(), how | O_RDWR, 0666);
    if (fd < 0 && errno == EACCES) {
        fd = ::openat(folder, leaf.c_str(), how | O_WRONLY, 0666);
        found.readable = false;
    }
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOENT) {
            found.swapped = true;  // a link now, or gone
            return true;
        }
        if (errno == EACCES && targetExists && (target.st_mode & 0222) == 0) {
            found.exists = true;
            found.readOnly = true;
            return true;
        }
        return false;
    }
    opened.file.reset(fd);
    if (::fstat(fd, &opened.info) != 0)
        return false;
    const struct stat& info = opened.info;
    bool same = !targetExists || SameFile(info, target);
    if (found.link) {
        // Still the link that was judged.
        struct stat again {};
        same = same && ::fstatat(folder, leaf.c_str(), &again, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(again, looked);
    }
    found.swapped = !same;
    found.exists = true;
    found.regular = S_ISREG(info.st_mode);
    found.readOnly = (info.st_mode & 0222) == 0;
    found.empty = info.st_size == 0;
    found.names = static_cast<unsigned>(info.st_nlink);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

// The extended attribute `name` of `from` given to `to`, or removed from `to`
// where `from` has none; false where that cannot be done.
bool CopyAttribute(int from, int to, const char* name)
{
    const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) {
        if (errno != ENODATA && errno != ENOTSUP)
            return false;
        return ::fremovexattr(to, name) == 0 || errno == ENODATA || errno == ENOTSUP;
    }
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
    return got >= 0 && ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0) == 0;
}

#ifdef FS_IOC_GETFLAGS
// Flags that tell how the file system stores a file, not what its user chose:
// never carried. Every other flag the old file has, the new one must take.
constexpr int kStorageFlags = FS_IMMUTABLE_FL | FS_APPEND_FL | FS_DIRTY_FL | FS_COMPRBLK_FL | FS_ENCRYPT_FL
                              | FS_INDEX_FL | FS_IMAGIC_FL | FS_DIRSYNC_FL | FS_TOPDIR_FL | FS_HUGE_FILE_FL
                              | FS_EXTENT_FL | FS_VERITY_FL | FS_EA_INODE_FL | FS_EOFBLOCKS_FL | FS_INLINE_DATA_FL
                              | FS_CASEFOLD_FL | static_cast<int>(FS_RESERVED_FL);
#endif

// Gives the new file `to` everything the old file `from` had: owner and
// group, mode, ACL, user attributes and flags. False where any of it cannot be
// given; nobody gains a right the old file did not give.
bool Carry(int from, const struct stat& old, int to)
{
    struct stat now {};
    if (::fstat(to, &now) != 0)
        return false;
    const uid_t owner = now.st_uid == old.st_uid ? static_cast<uid_t>(-1) : old.st_uid;
    const gid_t group = now.st_gid == old.st_gid ? static_cast<gid_t>(-1) : old.st_gid;
    if ((owner != static_cast<uid_t>(-1) || group != static_cast<gid_t>(-1)) && ::fchown(to, owner, group) != 0)
        return false;
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits. Some file
    // systems (FAT) have no modes to change.
    if ((::fstat(to, &now) != 0 || now.st_mode != old.st_mode) && ::fchmod(to, old.st_mode & 07777) != 0)
        return false;
    // The ACL as it is (the group's bits of the mode are its mask, not the group's rights).
    if (!CopyAttribute(from, to, kAcl))
        return false;
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0 && errno != ENOTSUP)
        return false;
    std::vector<char> names(static_cast<std::size_t>(size > 0 ? size : 0));
    const ssize_t listed = size > 0 ? ::flistxattr(from, names.data(), names.size()) : 0;
    if (listed < 0)
        return false;
    for (const char* name = names.data(); name < names.data() + listed; name += std::strlen(name) + 1)
        if (std::string_view(name).starts_with("user.") && !CopyAttribute(from, to, name))
            return false;
#ifdef FS_IOC_GETFLAGS
    int oldFlags = 0;
    int newFlags = 0;
    if (::ioctl(from, FS_IOC_GETFLAGS, &oldFlags) == 0 && ::ioctl(to, FS_IOC_GETFLAGS, &newFlags) == 0
        && (oldFlags & ~kStorageFlags) != (newFlags & ~kStorageFlags)) {
        newFlags = (newFlags & kStorageFlags) | (oldFlags & ~kStorageFlags);
        // A flag the file system does not take may be dropped without an error: compared after.
        if (::ioctl(to, FS_IOC_SETFLAGS, &newFlags) != 0 || ::ioctl(to, FS_IOC_GETFLAGS, &newFlags) != 0
            || (oldFlags & ~kStorageFlags) != (newFlags & ~kStorageFlags))
            return false;
    }
#endif
    return ::fstat(to, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid && now.st_mode == old.st_mode;
}

// The folder's entries are durable only once it is flushed. A folder its user
// may not list is open only as a place (EBADF): it cannot be flushed, and no
// flush was tried, so there is nothing to tell.
std::string FlushFolder(int folder)
{
    if (::fsync(folder) != 0 && errno != EINVAL && errno != EBADF)
        return std::string(kNameMayNotSurvive);
    return {};
}

// A disk too full for what a save must write first: nothing was touched yet.
WriteOutcome TooFull(int error, std::uintmax_t needed)
{
    if (error != ENOSPC && error != EDQUOT)
        return FailedWith(error);
    return Failed(SystemErrorReason(error) + std::string(kOldFileUntouched) + std::string(kRoomNeeded)
                  + std::to_string(needed) + std::string(kRoomNeededEnd));
}

enum class Next { Done, InPlace, Again };

// A new file, complete and flushed, takes the chosen name: a new name, or in
// place of `old`. `next` tells a replacement that must be a rewrite in place,
// and a new name that someone else took meanwhile.
WriteOutcome Replace(int folder, const std::string& leaf, const std::string& bytes, const Opened* old, Next& next)
{
    next = Next::Done;
    // The new file of an existing one is its user's alone until it has the old file's rights.
    const mode_t mode = old != nullptr ? 0600 : 0666;
    LeftoverGuard temporary{folder, {}};
    Descriptor file;
    bool unnamed = false;
#ifdef O_TMPFILE
    // An unnamed file, named only once complete: a kill leaves nothing behind.
    // Naming it needs /proc; without it, a named temporary file.
    if (::access(ResultWriterSeams::openFiles, X_OK) == 0) {
        file.reset(::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
        unnamed = file.get() >= 0;
    }
#endif
    if (!unnamed)
        file.reset(CreateLeftover(folder, LeftoverName::Kind::NewFile, leaf, mode, temporary.name));
    if (file.get() < 0) {
        // A folder that takes no new file.
        if (old != nullptr && (errno == EACCES || errno == EPERM))
            next = Next::InPlace;
        return TooFull(errno, bytes.size());
    }
    if (old != nullptr && !Carry(old->file.get(), old->info, file.get())) {
        next = Next::InPlace;
        return {};
    }
    if (!WriteAllAt(file.get(), bytes.data(), bytes.size(), 0) || ::fsync(file.get()) != 0)
        return TooFull(errno, bytes.size());

    if (unnamed) {
        const std::string source = std::string(ResultWriterSeams::openFiles) + "/" + std::to_string(file.get());
        if (old == nullptr) {
            // A new name directly; taken meanwhile, the save starts again from the look.
            if (::linkat(AT_FDCWD, source.c_str(), folder, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                if (!file.close())
                    return FailedWith(errno);
                return {true, {}, FlushFolder(folder)};
            }
            if (errno == EEXIST)
                next = Next::Again;
            return FailedWith(errno);
        }
        const SaverIdentity saver = Saver();
        for (int attempt = 0; temporary.name.empty() && attempt < 100; ++attempt) {
            std::string name = LeftoverName::Of(LeftoverName::Kind::NewFile, leaf, saver).name();
            if (::linkat(AT_FDCWD, source.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                temporary.name = std::move(name);
            else if (errno != EEXIST)
                return FailedWith(errno);
        }
        if (temporary.name.empty())
            return FailedWith(EEXIST);
    }
    if (!file.close())
        return FailedWith(errno);
    int renamed = -1;
    if (old == nullptr) {
        renamed = ::renameat2(folder, temporary.name.c_str(), folder, leaf.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EEXIST) {
            next = Next::Again;
            return FailedWith(EEXIST);
        }
    }
    if (renamed != 0 && ::renameat(folder, temporary.name.c_str(), folder, leaf.c_str()) != 0)
        return FailedWith(errno);
    temporary.kept = true;
    return {true, {}, FlushFolder(folder)};
}

std::string UsersTemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

enum class Lock { Held, Busy, None };

// Holds the whole file against another save that would rewrite it too, for as
// long as the file stays open; waits a while for one that holds it. A file
// system that has no such locks (some network file systems) gives None.
Lock LockWhole(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const auto until = std::chrono::steady_clock::now() + ResultWriterSeams::lockWait;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return Lock::Held;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EACCES)
            return Lock::None;
        if (std::chrono::steady_clock::now() >= until)
            return Lock::Busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Rewrites the open file itself, holding it against other saves: a complete
// copy of its old bytes goes to disk first (beside it, or in the user's
// temporary folder where its folder takes no new file), then the file is cut,
// written and flushed, then the copy goes.
WriteOutcome RewriteInPlace(int folder, const std::filesystem::path& path, const std::filesystem::path& folderName,
                            const std::string& leaf, const Opened& old, const std::string& bytes)
{
    const int fd = old.file.get();
    if (LockWhole(fd) == Lock::Busy)
        return Failed(kSavingElsewhere);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return FailedWith(errno);
    // The folder a copy goes to outlives the guard that removes the copy from it.
    Descriptor elsewhere;
    LeftoverGuard copy{folder, {}};
    Descriptor copied;
    std::filesystem::path copyFolder = folderName;
    if (info.st_size > 0) {
        copied.reset(CreateLeftover(folder, LeftoverName::Kind::OldCopy, leaf, 0600, copy.name));
        if (copied.get() < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            copyFolder = UsersTemporaryFolder();
            elsewhere.reset(::open(copyFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            copy.folder = elsewhere.get();
            if (elsewhere.get() >= 0)
                copied.reset(CreateLeftover(elsewhere.get(), LeftoverName::Kind::OldCopy, leaf, 0600, copy.name));
        }
        if (copied.get() < 0)
            return TooFull(errno, static_cast<std::uintmax_t>(info.st_size));
        if (!CopyBytes(fd, copied.get()) || ::fsync(copied.get()) != 0)
            return TooFull(errno, static_cast<std::uintmax_t>(info.st_size));
        ::fsync(copy.folder);  // the copy's name, should the power fail now
    }

    bool written = ::ftruncate(fd, 0) == 0;
    if (written && ResultWriterSeams::betweenCutAndWrite != nullptr)
        ResultWriterSeams::betweenCutAndWrite(path);
    written = written && WriteAllAt(fd, bytes.data(), bytes.size(), 0) && ::fsync(fd) == 0;
    if (written)
        return {true, {}, {}};
    const int error = errno;
    const bool restored = ::ftruncate(fd, 0) == 0 && (copied.get() < 0 || CopyBytes(copied.get(), fd))
                          && ::fsync(fd) == 0;
    std::string reason = SystemErrorReason(error);
    if (restored) {
        reason += kOldBytesRestored;
    } else {
        copy.kept = true;
        reason += kOldBytesLost;
        reason += (copyFolder / copy.name).native();
        reason += kOldBytesLostEnd;
    }
    return Failed(reason);
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);
    // Everything that can fail without touching the disk comes first.
    const std::string bytes = ResultFileBytes(results);
    const std::string leaf = path.filename().native();
    if (leaf.empty() || leaf == "." || leaf == "..")
        return Failed(kFolderOfThatName);
    const std::filesystem::path folderName = path.has_parent_path() ? path.parent_path() : ".";
    Descriptor folder(::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
#ifdef O_PATH
    if (folder.get() < 0 && errno == EACCES)  // a folder its user may not list
        folder.reset(::open(folderName.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
#endif
    if (folder.get() < 0)
        return FailedWith(errno);

    // What killed saves left: their new files now, copies of old bytes once this save is through.
    const bool copiesLeft = RemoveLeftovers(folder.get(), leaf, false);
    WriteOutcome outcome = FailedWith(EEXIST);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Opened opened;
        if (!LookAndOpen(folder.get(), leaf, path, opened))
            return FailedWith(errno);
        SaveDecision decision = SaveDecision::From(opened.found);
        if (decision.way == Way::New || decision.way == Way::Replace) {
            Next next = Next::Done;
            outcome = Replace(folder.get(), leaf, bytes, decision.way == Way::Replace ? &opened : nullptr, next);
            if (next == Next::Again)
                continue;
            if (next == Next::Done)
                break;
            decision = SaveDecision::InsteadOfReplacing(opened.found);
        }
        outcome = decision.way == Way::Refuse ? Failed(decision.reason)
                                              : RewriteInPlace(folder.get(), path, folderName, leaf, opened, bytes);
        break;
    }
    if (outcome.ok && copiesLeft)
        RemoveLeftovers(folder.get(), leaf, true);
    return outcome;
}

}  // namespace rowtick

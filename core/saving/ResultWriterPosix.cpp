// Saving the result file on POSIX systems: the chosen name is opened once,
// SaveDecision says what to do with what was opened, and every later step
// works on that open file.
#include "ResultWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

std::string Computer()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// A new file of this process in `folder`, named for `leaf`; the descriptor,
// or -1 with errno set. The kernel gives it `mode` less the umask, or the
// folder's default ACL.
int CreateLeftover(int folder, LeftoverName::Kind kind, const std::string& leaf, mode_t mode, std::string& name)
{
    const LeftoverName leftover{kind, leaf, static_cast<long>(::getpid()), Computer()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = leftover.make(LeftoverName::Letters());
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

bool Alive(long process)
{
    return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

// Removes from `folder` this user's new files of saves on this computer whose
// process is gone and, with `copies`, their copies of the old bytes of `leaf`;
// true where such copies are there and were left.
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
    const std::string computer = LeftoverName::Computer(Computer());
    std::vector<std::string> gone;
    while (const dirent* entry = ::readdir(dir)) {
        const auto parts = LeftoverName::Parse(entry->d_name);
        if (!parts || parts->computer != computer || parts->process == ::getpid() || Alive(parts->process))
            continue;
        const bool copy = parts->kind == LeftoverName::Kind::OldCopy && parts->chosen == LeftoverName::Chosen(leaf);
        copiesLeft = copiesLeft || (copy && !copies);
        if (parts->kind == LeftoverName::Kind::NewFile || (copy && copies))
            gone.emplace_back(entry->d_name);
    }
    for (const std::string& name : gone) {
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == ::geteuid())
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
// The flags a user may set and a new file would not have by itself.
constexpr int kCarriedFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL | FS_NOATIME_FL
                              | FS_NOCOMP_FL | FS_NOCOW_FL;
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
        && (oldFlags & kCarriedFlags) != (newFlags & kCarriedFlags)) {
        newFlags = (newFlags & ~kCarriedFlags) | (oldFlags & kCarriedFlags);
        if (::ioctl(to, FS_IOC_SETFLAGS, &newFlags) != 0)
            return false;
    }
#endif
    return ::fstat(to, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid && now.st_mode == old.st_mode;
}

// The folder's entries are durable only once it is flushed.
std::string FlushFolder(int folder)
{
    if (::fsync(folder) != 0 && errno != EINVAL)
        return std::string(kNameMayNotSurvive);
    return {};
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
        return FailedWith(errno);
    }
    if (old != nullptr && !Carry(old->file.get(), old->info, file.get())) {
        next = Next::InPlace;
        return {};
    }
    if (!WriteAllAt(file.get(), bytes.data(), bytes.size(), 0) || ::fsync(file.get()) != 0)
        return FailedWith(errno);

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
        const LeftoverName leftover{LeftoverName::Kind::NewFile, leaf, static_cast<long>(::getpid()), Computer()};
        for (int attempt = 0; temporary.name.empty() && attempt < 100; ++attempt) {
            std::string name = leftover.make(LeftoverName::Letters());
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

// Rewrites the open file itself: a complete copy of its old bytes goes to disk
// first (beside it, or in the user's temporary folder where its folder takes
// no new file), then the file is cut, written and flushed, then the copy goes.
WriteOutcome RewriteInPlace(int folder, const std::filesystem::path& folderName, const std::string& leaf,
                            const Opened& old, const std::string& bytes)
{
    const int fd = old.file.get();
    LeftoverGuard copy{folder, {}};
    Descriptor copied;
    Descriptor elsewhere;
    std::filesystem::path copyFolder = folderName;
    if (!old.found.empty) {
        copied.reset(CreateLeftover(folder, LeftoverName::Kind::OldCopy, leaf, 0600, copy.name));
        if (copied.get() < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            copyFolder = UsersTemporaryFolder();
            elsewhere.reset(::open(copyFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            copy.folder = elsewhere.get();
            if (elsewhere.get() >= 0)
                copied.reset(CreateLeftover(elsewhere.get(), LeftoverName::Kind::OldCopy, leaf, 0600, copy.name));
        }
        if (copied.get() < 0)
            return FailedWith(errno);
        if (!CopyBytes(fd, copied.get()) || ::fsync(copied.get()) != 0)
            return FailedWith(errno);
        ::fsync(copy.folder);  // the copy's name, should the power fail now
    }

    if (::ftruncate(fd, 0) == 0 && WriteAllAt(fd, bytes.data(), bytes.size(), 0) && ::fsync(fd) == 0)
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
                                              : RewriteInPlace(folder.get(), folderName, leaf, opened, bytes);
        break;
    }
    if (outcome.ok && copiesLeft)
        RemoveLeftovers(folder.get(), leaf, true);
    return outcome;
}

}  // namespace rowtick

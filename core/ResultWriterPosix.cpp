// Saving the result file on POSIX systems: the bytes go to a new file beside
// the target, which is flushed to disk and renamed over it; where the folder
// takes no new file, or the file has more names than one, the file itself is
// rewritten in place.
#include "ResultWriter.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Descriptor.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason)};
}

WriteOutcome FailedWith(int error)
{
    return Failed(SystemErrorReason(error));
}

bool WriteAllAt(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    off_t at = 0;
    while (left > 0) {
        const ssize_t put = ::pwrite(fd, p, left, at);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += put;
        at += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadAll(int fd, std::string& bytes)
{
    char block[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, block, sizeof block, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bytes.append(block, static_cast<std::size_t>(got));
        at += got;
    }
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A name beside the target that nothing holds yet; removed again unless the
// file under it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(const std::string& folder) : folder_(folder) {}
    ~TemporaryName()
    {
        if (!name_.empty() && !kept_)
            ::unlink(name_.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

    // Creates a new empty file under a fresh name; the descriptor or -1.
    int create()
    {
        std::string pattern = folder_ + "/.rowtick-XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0)
            name_ = std::move(pattern);
        return fd;
    }
    // Gives the complete unnamed file `fd` a fresh name; false with errno set.
    bool link(int fd)
    {
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device seed;
        std::minstd_rand random(seed());
        const std::string source = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = folder_ + "/.rowtick-";
            for (int i = 0; i < 6; ++i)
                name += kLetters[random() % (sizeof kLetters - 1)];
            if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                name_ = std::move(name);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    const std::string& name() const { return name_; }
    void keep() { kept_ = true; }

private:
    std::string folder_;
    std::string name_;
    bool kept_ = false;
};

// Follows symbolic links to the file they lead to, which need not exist yet:
// saving through a link writes the file the link points to, as writing to
// the link would. False with errno set.
bool FollowLinks(std::string path, std::string& target)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT)
                return false;
            target = std::move(path);
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = std::move(path);
            return true;
        }
        char buffer[PATH_MAX];
        const ssize_t size = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (size < 0)
            return false;
        if (static_cast<std::size_t>(size) == sizeof buffer) {
            errno = ENAMETOOLONG;  // the link's text did not fit: never a cut name
            return false;
        }
        std::string link(buffer, static_cast<std::size_t>(size));
        if (link.empty()) {
            errno = ENOENT;
            return false;
        }
        if (link.front() != '/') {
            const auto slash = path.rfind('/');
            link = slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
        }
        path = std::move(link);
    }
    errno = ELOOP;
    return false;
}

std::string FolderOf(const std::string& file)
{
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : file.substr(0, slash);
}

// Writes the file itself: truncated, written and flushed; on failure the old
// bytes are put back as far as possible, and the reason says whether they were.
WriteOutcome WriteInPlace(const std::string& target, const std::string& bytes)
{
    std::string old;
    bool oldKept = true;
    Descriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (file.get() < 0 && errno == EACCES) {
        // Writable but not readable: what it held cannot be kept.
        file.reset(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
        oldKept = false;
    }
    if (file.get() < 0)
        return FailedWith(errno);
    if (oldKept && !ReadAll(file.get(), old))
        return FailedWith(errno);

    if (::ftruncate(file.get(), 0) == 0 && WriteAllAt(file.get(), bytes) && ::fsync(file.get()) == 0) {
        if (!file.close())
            return FailedWith(errno);
        return {true, {}};
    }
    const int error = errno;
    const bool restored = oldKept && ::ftruncate(file.get(), 0) == 0 && WriteAllAt(file.get(), old)
                          && ::fsync(file.get()) == 0;
    std::string reason = SystemErrorReason(error);
    reason += restored ? kOldBytesRestored : kOldBytesLost;
    return Failed(reason);
}

// Makes the file `fd` the old file's owner, group and mode, or the usual mode
// of a new file.
WriteOutcome TakeOver(int fd, const struct stat* existing)
{
    if (existing != nullptr) {
        struct stat now {};
        if (::fstat(fd, &now) != 0)
            return FailedWith(errno);
        const uid_t owner = now.st_uid == existing->st_uid ? static_cast<uid_t>(-1) : existing->st_uid;
        const gid_t group = now.st_gid == existing->st_gid ? static_cast<gid_t>(-1) : existing->st_gid;
        if ((owner != static_cast<uid_t>(-1) || group != static_cast<gid_t>(-1)) && ::fchown(fd, owner, group) != 0)
            return Failed(kOwnerNotKept);
    }
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    const mode_t mode = existing != nullptr ? (existing->st_mode & 07777) : (0666 & ~CurrentUmask());
    if (::fchmod(fd, mode) != 0)
        return Failed(kModeNotKept);
    return {true, {}};
}

// The replacing file, complete and flushed, put in place of `target`.
// `cannotCreate` tells a folder that takes no new file.
WriteOutcome Replace(const std::string& target, const std::string& bytes, const struct stat* existing,
                     bool& cannotCreate)
{
    const std::string folder = FolderOf(target);
    TemporaryName temporary(folder);
    bool unnamed = false;
    int fd = -1;
#ifdef O_TMPFILE
    // An unnamed file, named only once complete: a crash leaves nothing behind.
    fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    unnamed = fd >= 0;
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        cannotCreate = errno == EACCES || errno == EPERM;
        return FailedWith(errno);
    }
#endif
    if (!unnamed)
        fd = temporary.create();
    if (fd < 0) {
        cannotCreate = errno == EACCES || errno == EPERM;
        return FailedWith(errno);
    }
    Descriptor file(fd);
    if (!WriteAllAt(fd, bytes))
        return FailedWith(errno);
    if (WriteOutcome taken = TakeOver(fd, existing); !taken.ok)
        return taken;
    if (::fsync(fd) != 0)
        return FailedWith(errno);

    if (unnamed) {
        // A new file gets its name directly; an old one is replaced by a rename.
        const std::string source = "/proc/self/fd/" + std::to_string(fd);
        bool named = existing == nullptr
                     && ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
        if (!named && !temporary.link(fd))
            return FailedWith(errno);
        if (!file.close())
            return FailedWith(errno);
        if (!named && ::rename(temporary.name().c_str(), target.c_str()) != 0)
            return FailedWith(errno);
    } else {
        if (!file.close())
            return FailedWith(errno);
        if (::rename(temporary.name().c_str(), target.c_str()) != 0)
            return FailedWith(errno);
    }
    temporary.keep();

    // The rename is durable only once the folder is flushed.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 && errno != EACCES)
        return FailedWith(errno);
    if (dir.get() >= 0 && ::fsync(dir.get()) != 0 && errno != EINVAL)
        return FailedWith(errno);
    return {true, {}};
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);
    // Everything that can fail without touching the disk comes first.
    const std::string bytes = ResultFileBytes(results);

    std::string target;
    if (!FollowLinks(path.native(), target))
        return FailedWith(errno);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            return Failed(kFolderOfThatName);
        if (!S_ISREG(existing.st_mode))
            return Failed(kNotRegular);
        // A file without any write permission is read-only to everyone, root included.
        if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)
            return Failed(kReadOnlyFile);
        // Every name of the file sees the new rows, as after a plain overwrite.
        if (existing.st_nlink > 1)
            return WriteInPlace(target, bytes);
    } else if (errno != ENOENT) {
        return FailedWith(errno);
    }

    bool cannotCreate = false;
    WriteOutcome outcome = Replace(target, bytes, exists ? &existing : nullptr, cannotCreate);
    // A file its user may write in a folder that takes no new file.
    if (!outcome.ok && cannotCreate && exists)
        return WriteInPlace(target, bytes);
    return outcome;
}

}  // namespace rowtick

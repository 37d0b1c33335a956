// Saving the result file on POSIX systems: a temporary file beside the target,
// flushed to disk and renamed over it.
#include "ResultWriter.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason)};
}

// Closes and removes the temporary file unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string pattern) : name_(std::move(pattern)) {}
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (created_ && !committed_)
            ::unlink(name_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool create()
    {
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
        created_ = fd_ >= 0;
        return created_;
    }
    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    // Closes the descriptor; false when the close reports a late write error.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void commit() { committed_ = true; }

private:
    std::string name_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

bool WriteAll(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, p, left);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);

    // Saving through a link replaces the file the link points to, not the link.
    std::string target = path.native();
    struct stat linkInfo {};
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) != nullptr)
            target = resolved;
    }

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
    } else if (errno != ENOENT) {
        return Failed(SystemErrorReason(errno));
    }

    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target.substr(0, slash);
    TempFile temp(folder + "/.rowtick-XXXXXX");
    if (!temp.create())
        return Failed(SystemErrorReason(errno));

    const std::string bytes = ResultFileBytes(results);
    if (!WriteAll(temp.fd(), bytes))
        return Failed(SystemErrorReason(errno));
    // Keep the replaced file's permissions; a new file gets the usual ones.
    const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
    ::fchmod(temp.fd(), mode);
    if (exists && ::geteuid() == 0)
        (void)::fchown(temp.fd(), existing.st_uid, existing.st_gid);
    if (::fsync(temp.fd()) != 0)
        return Failed(SystemErrorReason(errno));
    if (!temp.close())
        return Failed(SystemErrorReason(errno));
    if (::rename(temp.name().c_str(), target.c_str()) != 0)
        return Failed(SystemErrorReason(errno));
    temp.commit();

    // Make the rename itself durable; the file is complete either way.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {true, {}};
}

}  // namespace rowtick

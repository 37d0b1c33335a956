// CountLines on POSIX systems: open without blocking, check what was opened,
// read to the end, and check the file did not change meanwhile.
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Descriptor.h"
#include "FileCount.h"
#include "LineCounter.h"
#include "PositionedRead.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

using reading::Uncounted;

namespace reading {

std::atomic<PositionedRead> gPositionedRead{nullptr};

void SetPositionedRead(PositionedRead read)
{
    gPositionedRead.store(read);
}

}  // namespace reading

namespace {

std::string_view FileTypeReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return kFolder;
    if (S_ISFIFO(mode))
        return kFifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return kDevice;
    if (S_ISSOCK(mode))
        return kSocket;
    return kNotRegular;
}

// Why `name` could not be opened. Only this failure path pays for the extra lookups.
std::string OpenFailureReason(const char* name, int error)
{
    struct stat info {};
    switch (error) {
    case ENOENT:
        if (::lstat(name, &info) == 0 && S_ISLNK(info.st_mode))
            return std::string(kDanglingLink);
        return std::string(kMissing);
    case ELOOP:
        return std::string(kLinkLoop);
    case ENXIO:  // a socket, or a device without its driver
    case EOPNOTSUPP:
        if (::stat(name, &info) == 0 && !S_ISREG(info.st_mode))
            return std::string(FileTypeReason(info.st_mode));
        break;
    default:
        break;
    }
    return SystemErrorReason(error);
}

bool HiddenName(const std::string& name)
{
    const auto slash = name.find_last_of('/');
    const std::string_view base = slash == std::string::npos ? std::string_view(name)
                                                             : std::string_view(name).substr(slash + 1);
    // "." and ".." name folders, not hidden files; the descriptor check says so.
    return !base.empty() && base.front() == '.' && base != "." && base != "..";
}

bool SameFileState(const struct stat& a, const struct stat& b)
{
#ifdef __APPLE__
    return a.st_size == b.st_size && a.st_mtimespec.tv_sec == b.st_mtimespec.tv_sec
        && a.st_mtimespec.tv_nsec == b.st_mtimespec.tv_nsec;
#else
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
#endif
}

}  // namespace

LineCount CountLines(const std::filesystem::path& path, const std::atomic<bool>* stop,
                     std::atomic<std::uint64_t>* bytesRead)
{
    const std::string& name = path.native();
    if (HiddenName(name)) {
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0)
            return Uncounted(OpenFailureReason(name.c_str(), errno));
        return Uncounted(kHidden);
    }

    // Non-blocking, so that opening a FIFO without a writer returns at once; what
    // was opened is then checked on the descriptor itself, never on the path.
    const Descriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return Uncounted(OpenFailureReason(name.c_str(), errno));
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0)
        return Uncounted(SystemErrorReason(errno));
    if (!S_ISREG(before.st_mode))
        return Uncounted(FileTypeReason(before.st_mode));

    unsigned char* const buffer = reading::ReadBuffer();
    if (!buffer)
        return Uncounted(kNoMemory);
    const auto size = static_cast<std::uint64_t>(before.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    if (size > reading::kBlockSize)
        (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    const auto readAt = [fd = fd.get(), custom = reading::gPositionedRead.load()](
                            unsigned char* into, std::size_t capacity, std::uint64_t offset) -> long long {
        for (;;) {
            const long got = custom ? custom(fd, into, capacity, offset)
                                    : ::pread(fd, into, capacity, static_cast<off_t>(offset));
            if (got >= 0)
                return got;
            if (errno != EINTR)
                return -static_cast<long long>(errno);
        }
    };
    LineCount count = reading::CountFile(readAt, size, buffer, stop, bytesRead);
    if (!count.counted())
        return count;

    struct stat after {};
    if (::fstat(fd.get(), &after) != 0)
        return Uncounted(std::string(kReadError) + SystemErrorReason(errno));
    if (!SameFileState(before, after))
        return Uncounted(kChanged);
    return count;
}

}  // namespace rowtick

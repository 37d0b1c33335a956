// CountLines on POSIX systems: open without blocking, check what was opened,
// read to the end, and check the file did not change meanwhile.
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Descriptor.h"
#include "FileCount.h"
#include "FolderRun.h"
#include "LineCounter.h"
#include "PositionedRead.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

using reading::Uncounted;

namespace reading {

std::atomic<PositionedRead> gPositionedRead{nullptr};
std::atomic<void (*)()> gBetweenLookAndOpen{nullptr};

void SetPositionedRead(PositionedRead read)
{
    gPositionedRead.store(read);
}

void SetBetweenLookAndOpen(void (*seam)())
{
    gBetweenLookAndOpen.store(seam);
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

// Why `at` could not be looked up or opened. Only this failure path pays for the extra lookups.
std::string OpenFailureReason(FolderRun::Place at, int error)
{
    struct stat info {};
    switch (error) {
    case ENOENT:
        if (::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
            return std::string(kDanglingLink);
        return std::string(kMissing);
    case ELOOP:
        return std::string(kLinkLoop);
    case ENXIO:  // a socket, or a device without its driver
    case EOPNOTSUPP:
        if (::fstatat(at.folder, at.name, &info, 0) == 0 && !S_ISREG(info.st_mode))
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
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino)
        return false;
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The same file as the look saw it: the same device and inode, size and time
// of the last change.
bool SameFileState(const FileLook& look, const struct stat& now)
{
    return look.device == static_cast<std::uint64_t>(now.st_dev) && look.inode == static_cast<std::uint64_t>(now.st_ino)
        && look.size == static_cast<std::int64_t>(now.st_size) && look.modifiedSeconds == now.st_mtim.tv_sec
        && look.modifiedNanoseconds == static_cast<std::uint32_t>(now.st_mtim.tv_nsec);
}

}  // namespace

namespace {

// The look at a file before it is opened. Only a regular file is opened: no
// device, FIFO or socket is, so that opening one has no effect of its own. A
// hidden name is looked at itself, to tell a missing file from a hidden one.
FileLook LookAt(const std::string& name, FolderRun::Place at)
{
    FileLook look;
    look.hidden = HiddenName(name);
    struct stat info {};
    if (::fstatat(at.folder, at.name, &info, look.hidden ? AT_SYMLINK_NOFOLLOW : 0) != 0) {
        look.modeOrError = -errno;
        return look;
    }
    look.device = static_cast<std::uint64_t>(info.st_dev);
    look.inode = static_cast<std::uint64_t>(info.st_ino);
    look.size = static_cast<std::int64_t>(info.st_size);
    look.modifiedSeconds = info.st_mtim.tv_sec;
    look.modifiedNanoseconds = static_cast<std::uint32_t>(info.st_mtim.tv_nsec);
    look.modeOrError = static_cast<std::int32_t>(info.st_mode);
    return look;
}

// `looked`: a look made earlier in the run, or null for one made here.
LineCount CountLinesAt(const std::string& name, FolderRun::Place at, const FileLook* looked,
                       const std::atomic<bool>* stop, std::atomic<std::uint64_t>* bytesRead, SizeTally* sized)
{
    // A look that failed is made again: the file may be there by now, and
    // only this failure path pays for it.
    if (looked && looked->error() != 0)
        looked = nullptr;
    const FileLook look = looked ? *looked : LookAt(name, at);
    // What to do when the file opened is not the one looked at, or not as it
    // was: with a look of its own, the file changed while it was being counted;
    // with a look made earlier, it changed since, and is looked at again.
    const auto changed = [&] {
        if (looked)
            return CountLinesAt(name, at, nullptr, stop, bytesRead, nullptr);
        return Uncounted(kChanged);
    };
    const std::optional<std::uint64_t> toRead = look.toRead();
    if (sized && !looked)
        sized->add(toRead.value_or(0));
    if (look.error() != 0)
        return Uncounted(OpenFailureReason(at, look.error()));
    if (look.hidden)
        return Uncounted(kHidden);
    if (!toRead)
        return Uncounted(FileTypeReason(look.mode()));
    if (const auto seam = reading::gBetweenLookAndOpen.load())
        seam();

    // Non-blocking, so that opening a FIFO put in the file's place since the
    // look returns at once; what was opened is then checked on the descriptor
    // itself, never on the path.
    const Descriptor fd(::openat(at.folder, at.name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        // Sized for the progress bar but not read: its bytes are done all the same.
        if (bytesRead)
            bytesRead->fetch_add(static_cast<std::uint64_t>(look.size), std::memory_order_relaxed);
        return Uncounted(OpenFailureReason(at, errno));
    }
    unsigned char* const buffer = reading::ReadBuffer();
    if (!buffer)
        return Uncounted(kNoMemory);

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

    // A file smaller than one block, the most common case, in one read, and
    // the descriptor checked once, after it: what was read counts only if the
    // descriptor is still the regular file looked at, unchanged since the look.
    // A FIFO or device put in the file's place meanwhile is read at most once,
    // without blocking, and gives no count. Any other outcome of the read (an
    // error, fewer or more bytes than the look said) goes the long way below.
    if (look.size < static_cast<std::int64_t>(reading::kBlockSize)) {
        if (stop && stop->load(std::memory_order_relaxed))
            return Uncounted(kStopped);
        const long long got = readAt(buffer, reading::kBlockSize, 0);
        struct stat after {};
        if (::fstat(fd.get(), &after) != 0)
            return Uncounted(std::string(kReadError) + SystemErrorReason(errno));
        if (!S_ISREG(after.st_mode))
            return Uncounted(FileTypeReason(after.st_mode));
        if (!SameFileState(look, after))
            return changed();
        if (got == look.size) {
            if (bytesRead)
                bytesRead->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
            return {CountLinesInBuffer(std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got))), {}};
        }
        if (got < 0)
            return Uncounted(std::string(kReadError) + SystemErrorReason(static_cast<int>(-got)));
    }

    struct stat before {};
    if (::fstat(fd.get(), &before) != 0)
        return Uncounted(SystemErrorReason(errno));
    if (!S_ISREG(before.st_mode))
        return Uncounted(FileTypeReason(before.st_mode));
    // What was opened must be the file looked at, as it was then: a file put
    // in its name since the look, or a change to it, gives no count.
    if (!SameFileState(look, before))
        return changed();

    const auto size = static_cast<std::uint64_t>(before.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    if (size > reading::kBlockSize)
        (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    // Holes read as zero bytes: they are skipped where the file system reports
    // them, and counted as the zeros they hold.
    const auto dataAt = [fd = fd.get()](std::uint64_t offset) -> reading::DataRun {
        const off_t start = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
        if (start < 0)
            return errno == ENXIO ? reading::DataRun{} : reading::AllData(offset);
        const off_t end = ::lseek(fd, start, SEEK_HOLE);
        return {static_cast<std::uint64_t>(start), end < 0 ? reading::DataRun::kNone : static_cast<std::uint64_t>(end)};
    };
    LineCount count = reading::CountFile(readAt, dataAt, size, buffer, stop, bytesRead);
    // Reads that ended before the size give no count: a file that changed
    // meanwhile says so, one that did not keeps that reason.
    if (!count.counted() && count.reason != kReadEndedEarly)
        return count;

    struct stat after {};
    if (::fstat(fd.get(), &after) != 0)
        return Uncounted(std::string(kReadError) + SystemErrorReason(errno));
    if (!SameFileState(before, after))
        return Uncounted(kChanged);
    return count;
}

}  // namespace

LineCount CountLines(const std::filesystem::path& path, const std::atomic<bool>* stop,
                     std::atomic<std::uint64_t>* bytesRead)
{
    return CountLinesAt(path.native(), {AT_FDCWD, path.c_str()}, nullptr, stop, bytesRead, nullptr);
}

LineCount CountLines(const std::string& path, FolderRun& run, const FileLook* looked, const std::atomic<bool>* stop,
                     std::atomic<std::uint64_t>* bytesRead, SizeTally* sized)
{
    return CountLinesAt(path, run.place(path), looked, stop, bytesRead, sized);
}

FileLook LookAt(const std::string& path, FolderRun& run)
{
    return LookAt(path, run.place(path));
}

std::optional<std::uint64_t> FileLook::toRead() const
{
    if (hidden || error() != 0 || !S_ISREG(mode()))
        return std::nullopt;
    return static_cast<std::uint64_t>(size);
}

}  // namespace rowtick

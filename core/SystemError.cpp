#include "SystemError.h"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "Texts.h"

namespace rowtick {

namespace {

std::string_view KnownReason(int error)
{
#ifdef _WIN32
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return kErrNotFound;
    case ERROR_PATH_NOT_FOUND: return kErrFolderNotFound;
    case ERROR_ACCESS_DENIED: return kErrAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return kErrInUseByOther;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return kErrDiskFull;
    case ERROR_FILENAME_EXCED_RANGE: return kErrFileNameTooLong;
    case ERROR_WRITE_PROTECT: return kErrWriteProtected;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return kErrNoMemory;
    case ERROR_TOO_MANY_OPEN_FILES: return kErrTooManyOpen;
    case ERROR_NOT_READY: return kErrNoDevice;
    case ERROR_NOT_SUPPORTED: return kErrNotSupported;
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR: return kErrNetwork;
    default: return {};
    }
#else
    switch (error) {
    case ENOENT: return kErrNotFoundEither;
    case ENOTDIR: return kErrNotAFolder;
    case EACCES:
    case EPERM: return kErrAccessDenied;
    case EISDIR: return kErrIsFolder;
    case ENOSPC: return kErrDiskFull;
#ifdef EDQUOT
    case EDQUOT: return kErrQuota;
#endif
    case EFBIG: return kErrTooLarge;
    case EROFS: return kErrReadOnlyFs;
    case ENAMETOOLONG: return kErrNameTooLong;
    case ELOOP: return kErrLinkLoop;
    case EIO: return kErrIo;
    case EMFILE:
    case ENFILE: return kErrTooManyOpen;
    case ENOMEM: return kErrNoMemory;
    case ETXTBSY:
    case EBUSY: return kErrInUse;
    case EAGAIN: return kErrTryLater;
    case EINTR: return kErrInterrupted;
    case ENXIO:
    case ENODEV: return kErrNoDevice;
    case EINVAL: return kErrInvalid;
    case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
    case ENOSYS: return kErrNotSupported;
    case ETIMEDOUT: return kErrTimedOut;
#ifdef ESTALE
    case ESTALE: return kErrStale;
#endif
    case EXDEV: return kErrCrossDevice;
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNRESET:
    case ECONNREFUSED:
    case EHOSTUNREACH: return kErrNetwork;
    default: return {};
    }
#endif
}

}  // namespace

std::string SystemErrorReason(int error)
{
    const std::string_view known = KnownReason(error);
    if (!known.empty())
        return std::string(known);
    // The system's own text, often English, only as a detail after the Japanese one.
    std::string reason(kErrOther);
    reason += " (";
    reason += std::to_string(error);
#ifdef _WIN32
    reason += ")";
#else
    reason += ": ";
    reason += std::generic_category().message(error);
    reason += ")";
#endif
    return reason;
}

}  // namespace rowtick

// CountLines on Windows: attributes first (folders, hidden and system files are
// not counted), then the file read to its end through its handle.
#include <windows.h>

#include "FileCount.h"
#include "FolderRun.h"
#include "LineCounter.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

using reading::Uncounted;

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string LastErrorReason()
{
    return SystemErrorReason(static_cast<int>(::GetLastError()));
}

bool SameFileState(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow
        && a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime
        && a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime;
}

// Why a file with these attributes is not read, or null when it is.
const std::string_view* NotReadFor(DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return &kFolder;
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        return &kHidden;
    if (attributes & FILE_ATTRIBUTE_SYSTEM)
        return &kSystemFile;
    return nullptr;
}

// The look: the name's attributes and size, without opening it. A link's
// own size is not its file's: a link that would be read is opened, to size
// what a read gives (a link that does not open as a file on a disk is not read).
FileLook LookAt(const std::wstring& name)
{
    FileLook look;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        look.error = ::GetLastError();
        return look;
    }
    look.attributes = data.dwFileAttributes;
    if (NotReadFor(look.attributes))
        return look;
    if (!(look.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        look.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        look.sized = true;
        return look;
    }
    const Handle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size {};
    if (file.get() != INVALID_HANDLE_VALUE && ::GetFileType(file.get()) == FILE_TYPE_DISK
        && ::GetFileSizeEx(file.get(), &size)) {
        look.size = static_cast<std::uint64_t>(size.QuadPart);
        look.sized = true;
    }
    return look;
}

// CountLines with a look made earlier in the run, or null for one made here.
// A look that failed is made again: the file may be there by now.
LineCount CountLinesLooked(const std::wstring& name, const FileLook* looked, const std::atomic<bool>* stop,
                           std::atomic<std::uint64_t>* bytesRead, SizeTally* sized)
{
    if (looked && looked->error != 0)
        looked = nullptr;
    const FileLook look = looked ? *looked : LookAt(name);
    if (sized && !looked)
        sized->add(look.toRead().value_or(0));
    if (look.error != 0) {
        if (look.error == ERROR_FILE_NOT_FOUND || look.error == ERROR_PATH_NOT_FOUND)
            return Uncounted(kMissing);
        return Uncounted(SystemErrorReason(static_cast<int>(look.error)));
    }
    const DWORD attributes = look.attributes;
    if (const std::string_view* reason = NotReadFor(attributes))
        return Uncounted(*reason);

    const Handle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            return Uncounted(kDanglingLink);
        if (error == ERROR_CANT_RESOLVE_FILENAME)
            return Uncounted(kLinkLoop);
        return Uncounted(SystemErrorReason(static_cast<int>(error)));
    }
    // A console, pipe or other device can answer to a file name and block a read.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return Uncounted(kNotRegular);
    BY_HANDLE_FILE_INFORMATION before {};
    if (!::GetFileInformationByHandle(file.get(), &before))
        return Uncounted(LastErrorReason());
    if (before.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Uncounted(kFolder);

    unsigned char* const buffer = reading::ReadBuffer();
    if (!buffer)
        return Uncounted(kNoMemory);
    // Positioned reads (an offset in the OVERLAPPED of a synchronous handle),
    // so that the pieces of a big file are read on several threads at once.
    const auto readAt = [handle = file.get()](unsigned char* into, std::size_t capacity,
                                              std::uint64_t offset) -> long long {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, into, static_cast<DWORD>(capacity), &got, &at)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
                return 0;
            return -static_cast<long long>(error);
        }
        return got;
    };
    const std::uint64_t size = (std::uint64_t{before.nFileSizeHigh} << 32) | before.nFileSizeLow;
    LineCount count = reading::CountFile(readAt, reading::AllData, size, buffer, stop, bytesRead);
    if (!count.counted())
        return count;

    BY_HANDLE_FILE_INFORMATION after {};
    if (!::GetFileInformationByHandle(file.get(), &after))
        return Uncounted(std::string(kReadError) + LastErrorReason());
    if (!SameFileState(before, after))
        return Uncounted(kChanged);
    return count;
}

}  // namespace

LineCount CountLines(const std::filesystem::path& path, const std::atomic<bool>* stop,
                     std::atomic<std::uint64_t>* bytesRead)
{
    return CountLinesLooked(path.native(), nullptr, stop, bytesRead, nullptr);
}

FileLook LookAt(const std::wstring& path, FolderRun&)
{
    return LookAt(path);
}

LineCount CountLines(const std::wstring& path, FolderRun&, const FileLook* looked, const std::atomic<bool>* stop,
                     std::atomic<std::uint64_t>* bytesRead, SizeTally* sized)
{
    return CountLinesLooked(path, looked, stop, bytesRead, sized);
}

}  // namespace rowtick

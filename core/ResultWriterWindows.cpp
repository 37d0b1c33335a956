// Saving the result file on Windows: the bytes go to a new file of a unique
// name beside the target, are flushed to disk (FlushFileBuffers), and the file
// is then moved over the target (MoveFileExW, replacing it and writing through).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "ResultWriter.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason)};
}

WriteOutcome FailedWith(DWORD error)
{
    return {false, SystemErrorReason(static_cast<int>(error))};
}

// A path longer than MAX_PATH reaches the file only in the "\\?\" form.
std::wstring SystemName(const std::filesystem::path& path)
{
    const std::wstring& name = path.native();
    if (name.size() < MAX_PATH || name.starts_with(L"\\\\?\\") || !path.is_absolute())
        return name;
    if (name.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + name.substr(2);
    return L"\\\\?\\" + name;
}

// A temporary file beside `target`, created new under a name no other file has;
// INVALID_HANDLE_VALUE with the error set when none could be created.
HANDLE CreateTemporaryFile(const std::filesystem::path& target, std::wstring& name)
{
    std::random_device source;
    std::mt19937_64 random((std::uint64_t{source()} << 32) ^ source() ^ ::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[32];
        std::swprintf(suffix, std::size(suffix), L".rowtick-%016llx", static_cast<unsigned long long>(random()));
        std::filesystem::path temp = target;
        temp += suffix;
        name = SystemName(temp);
        const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Writes all of `bytes` to `file` and flushes it to disk; 0 or the error.
DWORD WriteAndFlush(HANDLE file, std::string_view bytes)
{
    constexpr std::size_t kMaxWrite = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const auto size = static_cast<DWORD>(std::min(bytes.size(), kMaxWrite));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), size, &written, nullptr))
            return ::GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    if (!::FlushFileBuffers(file))
        return ::GetLastError();
    return 0;
}

// Moves `temp` over `target`, written through to disk; 0 or the error. The
// target may be open for a moment elsewhere (a virus scanner, an indexer,
// another save of it): that is waited out for up to half a second.
DWORD Replace(const std::wstring& temp, const std::wstring& target)
{
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 20)
            return error;
        ::Sleep(25);
    }
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);
    const std::wstring target = SystemName(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return Failed(kFolderOfThatName);
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return Failed(kReadOnlyFile);
    }
    // Built before anything is created: running out of memory leaves nothing behind.
    const std::string bytes = ResultFileBytes(results);

    std::wstring temp;
    const HANDLE file = CreateTemporaryFile(path, temp);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_EXISTS)
            return Failed(kCannotCreate);
        return FailedWith(error);
    }
    const DWORD writeError = WriteAndFlush(file, bytes);
    ::CloseHandle(file);
    if (writeError != 0) {
        ::DeleteFileW(temp.c_str());
        return FailedWith(writeError);
    }
    const DWORD replaceError = Replace(temp, target);
    if (replaceError != 0) {
        ::DeleteFileW(temp.c_str());
        return FailedWith(replaceError);
    }
    return {true, {}};
}

}  // namespace rowtick

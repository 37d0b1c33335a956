// Saving the result file on Windows, by the same table as on POSIX
// (SaveDecision): the chosen name is opened once, and that is the look; a file with one
// name is replaced by a new file through ReplaceFileW, which keeps the old
// file's ACL, attributes and streams; a link's target, a file with other names
// and a file in a folder that takes no new file are rewritten in place, after a
// complete copy of their old bytes is on disk.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "LeftoverName.h"
#include "ResultWriter.h"
#include "SaveDecision.h"
#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

using Way = SaveDecision::Way;
constexpr DWORD kBlock = 64 * 1024;  // files are copied in blocks this small

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason), {}};
}

WriteOutcome FailedWith(DWORD error)
{
    return Failed(SystemErrorReason(static_cast<int>(error)));
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

// An open handle, closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (valid())
            ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, const char* p, std::size_t left)
{
    while (left > 0) {
        const auto size = static_cast<DWORD>(std::min<std::size_t>(left, std::size_t{1} << 30));
        DWORD written = 0;
        if (!::WriteFile(file, p, size, &written, nullptr))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

bool Rewind(HANDLE file)
{
    return ::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) != 0;
}

// Every byte of `from` into `to`, both from their start; false with the error set.
bool CopyBytes(HANDLE from, HANDLE to)
{
    if (!Rewind(from) || !Rewind(to))
        return false;
    std::vector<char> block(kBlock);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, block.data(), kBlock, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteAll(to, block.data(), got))
            return false;
    }
}

std::string Utf8(const std::wstring& text)
{
    const std::u8string utf8 = std::filesystem::path(text).u8string();
    return {utf8.begin(), utf8.end()};
}

std::string Computer()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameA(name, &size) ? name : "";
}

// A new file of this process in `folder`, named for `leaf`; the handle, or
// INVALID_HANDLE_VALUE with the error set.
HANDLE CreateLeftover(const std::filesystem::path& folder, LeftoverName::Kind kind, const std::wstring& leaf,
                      std::wstring& name)
{
    const LeftoverName leftover{kind, Utf8(leaf), static_cast<long>(::GetCurrentProcessId()), Computer()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string made = leftover.make(LeftoverName::Letters());
        name = SystemName(folder / std::filesystem::path(std::u8string(made.begin(), made.end())));
        const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A file's name, removed when it goes unless kept.
struct LeftoverGuard {
    std::wstring name;
    bool kept = false;
    ~LeftoverGuard()
    {
        if (!name.empty() && !kept)
            ::DeleteFileW(name.c_str());
    }
};

bool Alive(long process)
{
    Handle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process)));
    if (!handle.valid())
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    return !::GetExitCodeProcess(handle.get(), &code) || code == STILL_ACTIVE;
}

// Removes from `folder` the new files of saves on this computer whose process
// is gone and, with `copies`, their copies of the old bytes of `leaf`; true
// where such copies are there and were left.
bool RemoveLeftovers(const std::filesystem::path& folder, const std::wstring& leaf, bool copies)
{
    const std::string computer = LeftoverName::Computer(Computer());
    const std::string chosen = LeftoverName::Chosen(Utf8(leaf));
    std::vector<std::wstring> gone;
    bool copiesLeft = false;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(SystemName(folder / L".*.rowtick-*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        const auto parts = LeftoverName::Parse(Utf8(found.cFileName));
        if (!parts || parts->computer != computer || parts->process == static_cast<long>(::GetCurrentProcessId())
            || Alive(parts->process))
            continue;
        const bool copy = parts->kind == LeftoverName::Kind::OldCopy && parts->chosen == chosen;
        copiesLeft = copiesLeft || (copy && !copies);
        if (parts->kind == LeftoverName::Kind::NewFile || (copy && copies))
            gone.emplace_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    for (const std::wstring& name : gone)
        ::DeleteFileW(SystemName(folder / name).c_str());
    return copiesLeft;
}

// What is at the chosen name, opened.
struct Opened {
    Handle file;
    SaveDecision::Found found;
};

// Opens `name` for reading and writing; a file held open elsewhere for a
// moment (a virus scanner, an indexer, another save of it) is waited out for
// up to half a second.
HANDLE OpenForWriting(const std::wstring& name, DWORD access, DWORD creation, DWORD flags)
{
    for (int attempt = 0;; ++attempt) {
        const HANDLE file = ::CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, creation, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION || attempt == 20)
            return file;
        ::Sleep(25);
    }
}

// Opens the name for writing without following a link, so that what is
// looked at is what was opened; a link (Windows has no sticky shared folders)
// is then followed, and its file is compared with what was looked at. False
// with the error set.
bool LookAndOpen(const std::wstring& target, const std::filesystem::path& path, Opened& opened)
{
    SaveDecision::Found& found = opened.found;
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    opened.file.reset(OpenForWriting(target, access, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!opened.file.valid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
        // A folder or a read-only file is refused without being opened.
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
            found.exists = true;
            found.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            found.regular = !found.folder;
            found.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
            return true;
        }
        opened.file.reset(OpenForWriting(target, GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
        found.readable = false;
    }
    if (!opened.file.valid())
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;  // nothing there: a new file
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(opened.file.get(), &info))
        return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        found.link = true;
        if (ResultWriterSeams::betweenLookAndOpen != nullptr)
            ResultWriterSeams::betweenLookAndOpen(path);
        // A dangling link: the file it names is made, as writing to the link would.
        opened.file.reset(OpenForWriting(target, found.readable ? access : GENERIC_WRITE, OPEN_ALWAYS, 0));
        if (!opened.file.valid() || !::GetFileInformationByHandle(opened.file.get(), &info))
            return false;
    }
    found.exists = true;
    found.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.regular = !found.folder && ::GetFileType(opened.file.get()) == FILE_TYPE_DISK;
    found.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    found.empty = info.nFileSizeHigh == 0 && info.nFileSizeLow == 0;
    found.names = info.nNumberOfLinks;
    return true;
}

enum class Next { Done, InPlace, Again };

// ReplaceFileW, where the old file may be open for a moment elsewhere; 0 or the error.
DWORD ReplaceWith(const std::wstring& target, const std::wstring& replacement)
{
    for (int attempt = 0;; ++attempt) {
        if (::ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                           nullptr))
            return 0;
        const DWORD error = ::GetLastError();
        // The old file is gone and the new one still has its own name.
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            return ::MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : ::GetLastError();
        const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                          || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!busy || attempt == 20)
            return error;
        ::Sleep(25);
    }
}

// A new file, complete and flushed, takes the chosen name: a new name, or the
// place of the old file (`replacing`), whose ACL, attributes and streams it takes.
WriteOutcome Replace(const std::wstring& target, const std::filesystem::path& folder, const std::wstring& leaf,
                     const std::string& bytes, Opened* replacing, Next& next)
{
    next = Next::Done;
    LeftoverGuard temporary;
    Handle file(CreateLeftover(folder, LeftoverName::Kind::NewFile, leaf, temporary.name));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        if (replacing != nullptr && error == ERROR_ACCESS_DENIED)
            next = Next::InPlace;  // a folder that takes no new file
        return error == ERROR_PATH_NOT_FOUND ? Failed(kCannotCreate) : FailedWith(error);
    }
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !::FlushFileBuffers(file.get()))
        return FailedWith(::GetLastError());
    file.reset();
    if (replacing == nullptr) {
        if (!::MoveFileExW(temporary.name.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                next = Next::Again;  // taken meanwhile: the save starts again from the look
            return FailedWith(error);
        }
    } else {
        replacing->file.reset();  // ReplaceFileW opens it itself
        if (const DWORD error = ReplaceWith(target, temporary.name); error != 0) {
            if (error == ERROR_FILE_NOT_FOUND)
                next = Next::Again;  // gone meanwhile (another save): the save starts again from the look
            return FailedWith(error);
        }
    }
    temporary.kept = true;
    return {true, {}, {}};
}

std::filesystem::path UsersTemporaryFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD size = ::GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, size);
}

// Rewrites the open file itself: a complete copy of its old bytes goes to disk
// first (beside it, or in the user's temporary folder where its folder takes
// no new file), then the file is cut, written and flushed, then the copy goes.
WriteOutcome RewriteInPlace(const std::filesystem::path& folder, const std::wstring& leaf, const Opened& old,
                            const std::string& bytes)
{
    const HANDLE file = old.file.get();
    LeftoverGuard copy;
    Handle copied;
    if (!old.found.empty) {
        copied.reset(CreateLeftover(folder, LeftoverName::Kind::OldCopy, leaf, copy.name));
        if (!copied.valid() && ::GetLastError() == ERROR_ACCESS_DENIED)
            copied.reset(CreateLeftover(UsersTemporaryFolder(), LeftoverName::Kind::OldCopy, leaf, copy.name));
        if (!copied.valid() || !CopyBytes(file, copied.get()) || !::FlushFileBuffers(copied.get()))
            return FailedWith(::GetLastError());
    }
    if (Rewind(file) && ::SetEndOfFile(file) && WriteAll(file, bytes.data(), bytes.size()) && ::FlushFileBuffers(file))
        return {true, {}, {}};
    const DWORD error = ::GetLastError();
    const bool restored = Rewind(file) && ::SetEndOfFile(file) && (!copied.valid() || CopyBytes(copied.get(), file))
                          && ::FlushFileBuffers(file);
    std::string reason = SystemErrorReason(static_cast<int>(error));
    if (restored) {
        reason += kOldBytesRestored;
    } else {
        copy.kept = true;
        reason += kOldBytesLost;
        reason += Utf8(copy.name);
        reason += kOldBytesLostEnd;
    }
    return Failed(reason);
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);
    // Built before anything is created: running out of memory leaves nothing behind.
    const std::string bytes = ResultFileBytes(results);
    const std::wstring target = SystemName(path);
    const std::wstring leaf = path.filename().native();
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";

    // What killed saves left: their new files now, copies of old bytes once this save is through.
    const bool copiesLeft = RemoveLeftovers(folder, leaf, false);
    WriteOutcome outcome = FailedWith(ERROR_FILE_EXISTS);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Opened opened;
        if (!LookAndOpen(target, path, opened)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_PATH_NOT_FOUND ? Failed(kCannotCreate) : FailedWith(error);
        }
        SaveDecision decision = SaveDecision::From(opened.found);
        if (decision.way == Way::New || decision.way == Way::Replace) {
            Next next = Next::Done;
            outcome = Replace(target, folder, leaf, bytes, decision.way == Way::Replace ? &opened : nullptr, next);
            if (next == Next::Again)
                continue;
            if (next == Next::Done)
                break;
            decision = SaveDecision::InsteadOfReplacing(opened.found);
        }
        outcome = decision.way == Way::Refuse ? Failed(decision.reason) : RewriteInPlace(folder, leaf, opened, bytes);
        break;
    }
    if (outcome.ok && copiesLeft)
        RemoveLeftovers(folder, leaf, true);
    return outcome;
}

}  // namespace rowtick

// Saving the result file on Windows, by the same table as on POSIX
// (SaveDecision): the chosen name is opened once, and that is the look; a file with one
// name is replaced by a new file through ReplaceFileW, which keeps the old
// file's ACL, attributes and streams; a link's target, a file with other names,
// a file whose owner a new file would not have and a file in a folder that
// takes no new file are rewritten in place, after a complete copy of their old
// bytes is on disk.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
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

// A disk too full for what a save must write first: nothing was touched yet.
WriteOutcome TooFull(DWORD error, std::uintmax_t needed)
{
    if (error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL)
        return FailedWith(error);
    return Failed(SystemErrorReason(static_cast<int>(error)) + std::string(kOldFileUntouched) + std::string(kRoomNeeded)
                  + std::to_string(needed) + std::string(kRoomNeededEnd));
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

// Memory the system gave, freed with LocalFree.
struct LocalFreed {
    void operator()(void* p) const { ::LocalFree(p); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreed>;

// This process's user (TokenUser) or the owner its new files get (TokenOwner), as a SID in text.
std::wstring TokenSid(TOKEN_INFORMATION_CLASS which)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::vector<char> space(512);
    DWORD size = 0;
    const bool got = ::GetTokenInformation(token, which, space.data(), static_cast<DWORD>(space.size()), &size);
    ::CloseHandle(token);
    if (!got)
        return {};
    // TOKEN_USER and TOKEN_OWNER both start with the SID's address.
    PSID sid = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(space.data())->User.Sid
                                  : reinterpret_cast<TOKEN_OWNER*>(space.data())->Owner;
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return {};
    const std::wstring sidText = text;
    ::LocalFree(text);
    return sidText;
}

// The owner of an open file as a SID in text; empty where it cannot be read.
std::wstring OwnerOf(HANDLE file)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return {};
    const SecurityDescriptor freed(descriptor);
    wchar_t* text = nullptr;
    if (owner == nullptr || !::ConvertSidToStringSidW(owner, &text))
        return {};
    const std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

// Security for a file of this user alone (the old bytes of a file that others
// may not read): only the user who makes it has any access, nothing inherited.
SecurityDescriptor UserAlone()
{
    const std::wstring user = TokenSid(TokenUser);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty()
        || !::ConvertStringSecurityDescriptorToSecurityDescriptorW((L"D:P(A;;FA;;;" + user + L")").c_str(),
                                                                   SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return SecurityDescriptor(descriptor);
}

std::string RegistryText(HKEY root, const wchar_t* key, const wchar_t* name)
{
    wchar_t value[128] = {};
    DWORD size = sizeof value;
    if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return Utf8(value);
}

std::uint64_t Started(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return std::uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// This process on this computer. A process's start is a time of the calendar,
// told apart across boots, so there is one boot for all.
SaverIdentity Saver()
{
    SaverIdentity saver;
    saver.machine = ResultWriterSeams::machine != nullptr
                        ? ResultWriterSeams::machine
                        : RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid");
    saver.boot = "start times of the calendar";
    saver.process = static_cast<long>(::GetCurrentProcessId());
    saver.started = Started(::GetCurrentProcess());
    return saver;
}

// False only where there is no such process now, or another one has its number, or it has ended.
bool Alive(long process, std::uint64_t started)
{
    Handle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process)));
    if (!handle.valid())
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    if (Started(handle.get()) != started)
        return false;
    return !::GetExitCodeProcess(handle.get(), &code) || code == STILL_ACTIVE;
}

// A new file of this process in `folder`, named for `leaf`, with `security`
// (nullptr: the folder's); the handle, or INVALID_HANDLE_VALUE with the error set.
HANDLE CreateLeftover(const std::filesystem::path& folder, LeftoverName::Kind kind, const std::wstring& leaf,
                      std::wstring& name, void* security = nullptr)
{
    const SaverIdentity saver = Saver();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string made = LeftoverName::Of(kind, Utf8(leaf), saver).name();
        name = SystemName(folder / std::filesystem::path(std::u8string(made.begin(), made.end())));
        const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                          security != nullptr ? &attributes : nullptr, CREATE_NEW,
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

// Deletes the file `name` if it is a plain file of this user with no other
// name: the very file that was checked, through the handle that checked it.
void DeleteOwn(const std::wstring& name, const std::wstring& user)
{
    Handle file(::CreateFileW(name.c_str(), READ_CONTROL | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0
        || user.empty() || OwnerOf(file.get()) != user)
        return;
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

// Removes from `folder` what saves left that are proved to be this program's
// own, made on this computer by this user in a process that is gone: their new
// files, and with `copies` their copies of the old bytes of `leaf` (a copy of
// another file's old bytes may be all that is left of them). True where such
// copies are there and were left. Anything else stays, whatever its name.
bool RemoveLeftovers(const std::filesystem::path& folder, const std::wstring& leaf, bool copies)
{
    const SaverIdentity saver = Saver();
    const std::string chosen = Utf8(leaf);
    std::vector<std::wstring> gone;
    bool copiesLeft = false;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(SystemName(folder / L".*.rowtick-*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        const auto parts = LeftoverName::Parse(Utf8(found.cFileName));
        if (!parts || !parts->gone(saver, Alive))
            continue;
        const bool copy = parts->kind == LeftoverName::Kind::OldCopy && parts->madeFor(chosen, saver);
        copiesLeft = copiesLeft || (copy && !copies);
        if (parts->kind == LeftoverName::Kind::NewFile || (copy && copies))
            gone.emplace_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    const std::wstring user = TokenSid(TokenUser);
    for (const std::wstring& name : gone)
        DeleteOwn(SystemName(folder / name), user);
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
        opened.file.reset();  // a handle that may write would keep the link from being held
        if (ResultWriterSeams::betweenLookAndOpen != nullptr)
            ResultWriterSeams::betweenLookAndOpen(path);
        // The link is held, so that nobody may change, rename or remove it while it is followed, and it must
        // still be the link that was looked at.
        Handle held(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!held.valid()) {
            if (::GetLastError() != ERROR_FILE_NOT_FOUND)
                return false;
            found.swapped = true;  // gone
            return true;
        }
        BY_HANDLE_FILE_INFORMATION link {};
        if (!::GetFileInformationByHandle(held.get(), &link))
            return false;
        if (link.dwVolumeSerialNumber != info.dwVolumeSerialNumber || link.nFileIndexHigh != info.nFileIndexHigh
            || link.nFileIndexLow != info.nFileIndexLow || !(link.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            found.swapped = true;
            return true;
        }
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
    // ReplaceFileW gives the new file the old one's ACL but not its owner: a file of another owner is rewritten.
    if (replacing != nullptr && OwnerOf(replacing->file.get()) != TokenSid(TokenOwner)) {
        next = Next::InPlace;
        return {};
    }
    // The new file of an existing one is its user's alone until it takes the old file's ACL.
    const SecurityDescriptor alone = replacing != nullptr ? UserAlone() : nullptr;
    if (replacing != nullptr && alone == nullptr)
        return FailedWith(::GetLastError());
    LeftoverGuard temporary;
    Handle file(CreateLeftover(folder, LeftoverName::Kind::NewFile, leaf, temporary.name, alone.get()));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        if (replacing != nullptr && error == ERROR_ACCESS_DENIED)
            next = Next::InPlace;  // a folder that takes no new file
        return error == ERROR_PATH_NOT_FOUND ? Failed(kCannotCreate) : TooFull(error, bytes.size());
    }
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !::FlushFileBuffers(file.get()))
        return TooFull(::GetLastError(), bytes.size());
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

enum class Lock { Held, Busy, None };

// Holds the whole file against another save that would rewrite it too, for as
// long as the handle stays open; waits a while for one that holds it. A file
// system that has no such locks gives None.
Lock LockWhole(HANDLE file)
{
    const auto until = std::chrono::steady_clock::now() + ResultWriterSeams::lockWait;
    for (;;) {
        OVERLAPPED from {};
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &from))
            return Lock::Held;
        if (::GetLastError() != ERROR_LOCK_VIOLATION && ::GetLastError() != ERROR_IO_PENDING)
            return Lock::None;
        if (std::chrono::steady_clock::now() >= until)
            return Lock::Busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::filesystem::path UsersTemporaryFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD size = ::GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, size);
}

// Rewrites the open file itself, holding it against other saves: a complete
// copy of its old bytes, its user's alone, goes to disk first (beside it, or in
// the user's temporary folder where its folder takes no new file), then the
// file is cut, written and flushed, then the copy goes.
WriteOutcome RewriteInPlace(const std::filesystem::path& path, const std::filesystem::path& folder,
                            const std::wstring& leaf, const Opened& old, const std::string& bytes)
{
    const HANDLE file = old.file.get();
    if (LockWhole(file) == Lock::Busy)
        return Failed(kSavingElsewhere);
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(file, &size))
        return FailedWith(::GetLastError());
    LeftoverGuard copy;
    Handle copied;
    if (size.QuadPart > 0) {
        const SecurityDescriptor alone = UserAlone();
        if (alone == nullptr)
            return FailedWith(::GetLastError());
        copied.reset(CreateLeftover(folder, LeftoverName::Kind::OldCopy, leaf, copy.name, alone.get()));
        if (!copied.valid() && ::GetLastError() == ERROR_ACCESS_DENIED)
            copied.reset(CreateLeftover(UsersTemporaryFolder(), LeftoverName::Kind::OldCopy, leaf, copy.name, alone.get()));
        if (!copied.valid() || !CopyBytes(file, copied.get()) || !::FlushFileBuffers(copied.get()))
            return TooFull(::GetLastError(), static_cast<std::uintmax_t>(size.QuadPart));
    }
    bool written = Rewind(file) && ::SetEndOfFile(file);
    if (written && ResultWriterSeams::betweenCutAndWrite != nullptr)
        ResultWriterSeams::betweenCutAndWrite(path);
    if (written && WriteAll(file, bytes.data(), bytes.size()) && ::FlushFileBuffers(file))
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
        outcome = decision.way == Way::Refuse ? Failed(decision.reason) : RewriteInPlace(path, folder, leaf, opened, bytes);
        break;
    }
    if (outcome.ok && copiesLeft)
        RemoveLeftovers(folder, leaf, true);
    return outcome;
}

}  // namespace rowtick

// What makes reading or saving fail on a user's machine, made to happen in the core and window tests.
#pragma once
#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

namespace rowtick::test {
struct OrdinaryUser {  // while it lives, a test run as root acts as user `uid` of group `gid`: permissions apply
    gid_t gid_ = ::getegid();
    bool switched_;
    explicit OrdinaryUser(uid_t uid = 65534, gid_t gid = 65534)  // by default "nobody"
        : switched_(::geteuid() == 0 && ::setegid(gid) == 0 && ::seteuid(uid) == 0)
    {
        if (!switched_)
            (void)::setegid(gid_);
    }
    ~OrdinaryUser()
    {
        if (switched_ && (::seteuid(0) != 0 || ::setegid(gid_) != 0))
            std::abort();  // the rest of the run would have the wrong rights
    }
    bool active() const { return ::geteuid() != 0; }  // false: still root, permissions cannot be tested
};

struct FileSizeLimit {  // limits the size of files this process may write: a write fails part-way
    rlimit saved_{};
    void (*previous_)(int) = std::signal(SIGXFSZ, SIG_IGN);
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limit{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
};

#ifdef __linux__
// Hides /proc from this process for good (an empty folder over it, in a mount namespace of its own): for a forked
// child. False where that is not permitted (not root).
inline bool HideProc()
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
           && ::mount("rowtick-test", "/proc", "tmpfs", MS_NOSUID | MS_NODEV, "size=4k") == 0;
}

struct SmallDisk {  // a 64 KiB tmpfs mounted on the folder `at` while it lives; needs root and a permitted mount
    std::filesystem::path at_;
    bool mounted_ = false;
    explicit SmallDisk(const std::filesystem::path& at) : at_(at)
    {
        std::error_code ignored;
        std::filesystem::create_directory(at_, ignored);
        mounted_ = ::geteuid() == 0
                   && ::mount("rowtick-test", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") == 0;
    }
    ~SmallDisk() { if (mounted_) ::umount2(at_.c_str(), MNT_DETACH); }
    bool fill(const char* name = "filler") const  // takes every free byte; true once the disk is full
    {
        const int fd = ::open((at_ / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        static const char block[4096] = {};
        ssize_t put = fd < 0 ? 0 : 1;
        while (put > 0)
            put = ::write(fd, block, sizeof block);
        const bool full = put < 0 && errno == ENOSPC;
        ::close(fd);
        return full;
    }
};
#endif
}  // namespace rowtick::test
#else  // _WIN32
#include <filesystem>
#include <string_view>
#include <vector>
#include <windows.h>

namespace rowtick::test {
// Files this process holds open without sharing, as another program may: closed when the test's folder goes.
inline std::vector<HANDLE> heldFiles;

inline std::filesystem::path HoldOpen(const std::filesystem::path& file)
{
    heldFiles.push_back(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file;
}

inline void ReleaseHeldFiles()
{
    for (HANDLE file : heldFiles)
        ::CloseHandle(file);
    heldFiles.clear();
}

// A file in `folder` whose path is longer than MAX_PATH (260) characters, made through the "\\?\" form that
// has no such limit; the path returned is the ordinary form.
inline std::filesystem::path LongFile(const std::filesystem::path& folder, std::string_view bytes)
{
    std::filesystem::path path = folder;
    while (path.native().size() <= MAX_PATH) {
        path /= std::wstring(60, L'd');
        ::CreateDirectoryW((L"\\\\?\\" + path.native()).c_str(), nullptr);
    }
    path /= L"long.c";
    const std::wstring name = L"\\\\?\\" + path.native();
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return path;
}
}  // namespace rowtick::test
#endif  // _WIN32

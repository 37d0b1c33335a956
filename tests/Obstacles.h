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
#include <sys/mount.h>
#endif

namespace rowtick::test {
struct OrdinaryUser {  // while it lives, a test run as root acts as "nobody" (65534): permissions apply
    gid_t gid_ = ::getegid();
    bool switched_ = ::geteuid() == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    OrdinaryUser() { if (!switched_) (void)::setegid(gid_); }
    ~OrdinaryUser() { if (switched_ && (::seteuid(0) != 0 || ::setegid(gid_) != 0)) std::abort(); }  // else wrong rights
    bool active() const { return ::geteuid() != 0; }  // false: still root, permissions cannot be tested
};

struct FileSizeLimit {  // limits the size of files this process may write: a write fails part-way
    rlimit saved_ = [] { rlimit now{}; return ::getrlimit(RLIMIT_FSIZE, &now), now; }();
    void (*previous_)(int) = std::signal(SIGXFSZ, SIG_IGN);
    explicit FileSizeLimit(rlim_t bytes) { const rlimit limit{bytes, saved_.rlim_max}; ::setrlimit(RLIMIT_FSIZE, &limit); }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_), std::signal(SIGXFSZ, previous_); }
};

#ifdef __linux__
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
    bool mounted() const { return mounted_; }
    bool fill(const char* name = "filler") const  // takes every free byte; true once the disk is full
    {
        const int fd = ::open((at_ / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        static const char block[4096] = {};
        ssize_t put = fd < 0 ? 0 : 1;
        while (put > 0)
            put = ::write(fd, block, sizeof block);
        const bool full = put < 0 && errno == ENOSPC;
        return ::close(fd), full;
    }
};
#endif
}  // namespace rowtick::test
#endif  // !_WIN32

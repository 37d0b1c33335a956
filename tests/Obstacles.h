// What makes reading or saving fail on a user's machine, made to happen in a
// test: permissions that bite, a write cut off part-way, a full disk. No test
// framework here; the core tests and the window tests both use it.
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

// Root reads and writes whatever the permissions say. For the lifetime of this
// object a test run as root acts as the ordinary user "nobody" (65534), so that
// permissions apply; the saved ids bring root back at the end.
class OrdinaryUser {
public:
    OrdinaryUser()
    {
        if (::geteuid() != 0)
            return;
        gid_ = ::getegid();
        switched_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        if (!switched_)
            (void)::setegid(gid_);
    }
    ~OrdinaryUser()
    {
        if (switched_ && (::seteuid(0) != 0 || ::setegid(gid_) != 0))
            std::abort();  // the tests after this one would run with the wrong rights
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

    // False when the test still runs as root: permissions cannot be tested then.
    bool active() const { return ::geteuid() != 0; }

private:
    gid_t gid_ = 0;
    bool switched_ = false;
};

// Limits the size of files this process may write, so that a write fails part-way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

#ifdef __linux__
// A small file system of its own (a 64 KiB tmpfs) mounted on the folder `at`,
// for as long as this object lives. Needs root and a mount the system permits.
class SmallDisk {
public:
    explicit SmallDisk(const std::filesystem::path& at) : at_(at)
    {
        std::error_code ignored;
        std::filesystem::create_directory(at_, ignored);
        mounted_ = ::geteuid() == 0
                   && ::mount("rowtick-test", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

    // Takes every free byte with the file `name`; true once the disk is full.
    bool fill(const char* name = "filler") const
    {
        const int fd = ::open((at_ / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        static const char block[4096] = {};
        ssize_t put = 0;
        while ((put = ::write(fd, block, sizeof block)) > 0) {
        }
        const bool full = put < 0 && errno == ENOSPC;
        ::close(fd);
        return full;
    }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};
#endif

}  // namespace rowtick::test

#endif  // !_WIN32

#include "LineCounter.h"

#include <cerrno>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rowtick {

void LineCounter::feedBytes(const unsigned char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c == '\r') {
            ++ends_;
            pendingCR_ = true;
            openLine_ = false;
        } else if (c == '\n') {
            if (!pendingCR_)
                ++ends_;
            pendingCR_ = false;
            openLine_ = false;
        } else {
            pendingCR_ = false;
            openLine_ = true;
        }
    }
}

void LineCounter::feedUnits16(const unsigned char* p, std::size_t n)
{
    std::size_t i = 0;
    auto unitAt = [this](unsigned char a, unsigned char b) {
        return encoding_ == Encoding::Utf16LE ? static_cast<unsigned>(a | (b << 8))
                                              : static_cast<unsigned>((a << 8) | b);
    };
    auto take = [this](unsigned u) {
        if (u == '\r') {
            ++ends_;
            pendingCR_ = true;
            openLine_ = false;
        } else if (u == '\n') {
            if (!pendingCR_)
                ++ends_;
            pendingCR_ = false;
            openLine_ = false;
        } else {
            pendingCR_ = false;
            openLine_ = true;
        }
    };
    if (haveOddByte_ && n > 0) {
        take(unitAt(oddByte_, p[0]));
        haveOddByte_ = false;
        i = 1;
    }
    for (; i + 1 < n; i += 2)
        take(unitAt(p[i], p[i + 1]));
    if (i < n) {
        haveOddByte_ = true;
        oddByte_ = p[i];
    }
}

void LineCounter::feed(std::string_view block)
{
    auto p = reinterpret_cast<const unsigned char*>(block.data());
    std::size_t n = block.size();
    if (encoding_ == Encoding::Undecided) {
        while (headSize_ < 2 && n > 0) {
            head_[headSize_++] = *p++;
            --n;
        }
        if (headSize_ < 2)
            return;
        if (head_[0] == 0xFF && head_[1] == 0xFE) {
            encoding_ = Encoding::Utf16LE;
        } else if (head_[0] == 0xFE && head_[1] == 0xFF) {
            encoding_ = Encoding::Utf16BE;
        } else {
            encoding_ = Encoding::Bytes;
            feedBytes(head_, 2);
        }
    }
    if (encoding_ == Encoding::Bytes)
        feedBytes(p, n);
    else
        feedUnits16(p, n);
}

std::uint64_t LineCounter::lines() const
{
    if (encoding_ == Encoding::Undecided) {
        // Fewer than two bytes: a single byte is a line of its own.
        LineCounter copy = *this;
        copy.encoding_ = Encoding::Bytes;
        copy.feedBytes(head_, headSize_);
        return copy.ends_ + (copy.openLine_ ? 1 : 0);
    }
    return ends_ + ((openLine_ || haveOddByte_) ? 1 : 0);
}

std::uint64_t CountLinesInBuffer(std::string_view bytes)
{
    LineCounter counter;
    counter.feed(bytes);
    return counter.lines();
}

std::string LineCount::text() const
{
    return lines ? std::to_string(*lines) : std::string();
}

#ifndef _WIN32
LineCount CountLines(const std::filesystem::path& path)
{
    const std::string& name = path.native();
    const auto slash = name.find_last_of('/');
    const std::string_view base = slash == std::string::npos ? std::string_view(name)
                                                             : std::string_view(name).substr(slash + 1);
    if (!base.empty() && base.front() == '.')
        return {std::nullopt, "隠しファイルです"};
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {std::nullopt, "ファイルを開けません"};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {std::nullopt, "通常のファイルではありません"};
    }
    constexpr std::size_t kBlock = 256 * 1024;
    std::unique_ptr<char[]> buffer(new char[kBlock]);
    LineCounter counter;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.get(), kBlock);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return {std::nullopt, "読み込みエラー"};
        }
        if (got == 0)
            break;
        counter.feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    return {counter.lines(), {}};
}
#endif

}  // namespace rowtick

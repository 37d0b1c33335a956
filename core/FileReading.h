// Reading one file to its end for the line counter: what the POSIX and the
// Windows readers share.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "LineCounter.h"
#include "SystemError.h"
#include "Texts.h"
#include "WorkerPool.h"

namespace rowtick::reading {

inline LineCount Uncounted(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}
inline LineCount Uncounted(std::string_view reason)
{
    return Uncounted(std::string(reason));
}

// Read blocks of 256 KiB: small enough to stay in the second-level cache
// between the kernel's copy and the count, large enough to keep the number of
// reads low. Blocks of 64 KiB to 1 MiB measured within a few per cent of each
// other here; 16 and 32 KiB were slower. Reading on one thread and counting on
// another measured slower still: the copy then pulls every line back from the
// other core's cache.
inline constexpr std::size_t kBlockSize = 256 * 1024;
// Page-aligned: a buffer that starts inside a page makes the kernel's copy out
// of the page cache several times slower.
inline constexpr std::align_val_t kBufferAlignment{4096};

// One read buffer per thread, made on first use and kept: counting many small
// files allocates nothing per file.
inline unsigned char* ReadBuffer()
{
    struct Buffer {
        unsigned char* data = nullptr;
        ~Buffer()
        {
            if (data)
                ::operator delete(data, kBufferAlignment);
        }
    };
    thread_local Buffer buffer;
    if (!buffer.data)
        buffer.data = static_cast<unsigned char*>(::operator new(kBlockSize, kBufferAlignment, std::nothrow));
    return buffer.data;
}

// What reading a file came to.
enum class ReadEnd { Complete, Failed, Stopped, Changed };

#ifndef _WIN32
// The positioned read of the POSIX reader: pread(2) unless a test puts in one of
// its own to make a read fail or the file change part-way. Returns what pread
// returns; on an error, -1 with errno set.
using PositionedRead = long (*)(int descriptor, void* into, std::size_t size, std::uint64_t offset);
// Null puts pread back.
void SetPositionedRead(PositionedRead read);
#endif

// A read function is `readAt(into, size, offset)`: the bytes read at `offset`,
// 0 at the end of the file, or the system's error code negated. Positioned
// reads, so that several threads read one file at once.

// Reads a file that had `expectedSize` bytes before reading to its end and
// counts its lines into `counter`. A read error's code goes to `error`.
template <class ReadAt>
ReadEnd CountWholeFile(const ReadAt& readAt, unsigned char* buffer, std::uint64_t expectedSize, LineCounter& counter,
                       const std::atomic<bool>* stop, std::atomic<std::uint64_t>* bytesRead, long long& error)
{
    std::uint64_t total = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return ReadEnd::Stopped;
        const long long got = readAt(buffer, kBlockSize, total);
        if (got < 0) {
            error = -got;
            return ReadEnd::Failed;
        }
        if (got == 0)
            return ReadEnd::Complete;
        const auto size = static_cast<std::size_t>(got);
        counter.feed(std::string_view(reinterpret_cast<const char*>(buffer), size));
        total += size;
        if (bytesRead)
            bytesRead->fetch_add(size, std::memory_order_relaxed);
        // A short read that reaches the size the file had before reading is the
        // end: the read that would return 0 is saved. Growth after it shows in
        // the caller's second look at the file.
        if (size < kBlockSize && total == expectedSize)
            return ReadEnd::Complete;
    }
}

// A file of this size or more is counted in pieces on every core at once: one
// thread alone leaves the other cores idle while it copies and counts.
inline constexpr std::uint64_t kPiecesFrom = 32 * 1024 * 1024;
// The pieces are claimed one by one, so a thread that is held up elsewhere
// leaves its share to the others. Even, so that a UTF-16 unit is never cut.
inline constexpr std::uint64_t kPieceSize = 8 * 1024 * 1024;

struct PiecesEnd {
    ReadEnd end = ReadEnd::Complete;
    std::uint64_t lines = 0;
    long long error = 0;  // the first read error's code
};

namespace detail {

// Shared with the helper threads: one that starts only after the count is
// over finds no piece left and touches nothing else.
struct Pieces {
    std::uint64_t size = 0;
    LineCounter::Encoding encoding = LineCounter::Encoding::Bytes;
    std::vector<LineCounter::Range> ranges;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    PiecesEnd end;

    // Claims and counts pieces until none is left. A claimed piece is always
    // finished, so the caller waiting for every piece keeps what it reads valid.
    template <class ReadAt>
    void work(const ReadAt& readAt, const std::atomic<bool>* stop, std::atomic<std::uint64_t>* bytesRead)
    {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= ranges.size())
                return;
            long long error = 0;
            const ReadEnd pieceEnd = countPiece(i, readAt, stop, bytesRead, error);
            std::lock_guard lock(mutex);
            if (pieceEnd != ReadEnd::Complete && end.end == ReadEnd::Complete) {
                end.end = pieceEnd;
                end.error = error;
            }
            if (++done == ranges.size())
                finished.notify_all();
        }
    }

    template <class ReadAt>
    ReadEnd countPiece(std::size_t i, const ReadAt& readAt, const std::atomic<bool>* stop,
                       std::atomic<std::uint64_t>* bytesRead, long long& error)
    {
        unsigned char* const buffer = ReadBuffer();
        if (!buffer)
            return ReadEnd::Failed;
        LineCounter counter(encoding);
        std::uint64_t offset = i == 0 ? LineCounter::MarkSize(encoding) : i * kPieceSize;
        const std::uint64_t pieceEnd = std::min(size, (i + 1) * kPieceSize);
        while (offset < pieceEnd) {
            if (stop && stop->load(std::memory_order_relaxed))
                return ReadEnd::Stopped;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, pieceEnd - offset));
            const long long got = readAt(buffer, want, offset);
            if (got < 0) {
                error = -got;
                return ReadEnd::Failed;
            }
            if (got == 0)
                return ReadEnd::Changed;  // shorter than it was
            counter.feed(std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got)));
            offset += static_cast<std::uint64_t>(got);
            if (bytesRead)
                bytesRead->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
        }
        ranges[i] = counter.range();
        return ReadEnd::Complete;
    }
};

}  // namespace detail

// Counts the first `size` bytes of a file in pieces, on this thread and on
// helpers from the worker pool, and joins the pieces. The helpers only ever
// read while this call waits for them. Growth beyond `size` is for the caller
// to check.
template <class ReadAt>
PiecesEnd CountInPieces(const ReadAt& readAt, std::uint64_t size, const std::atomic<bool>* stop,
                        std::atomic<std::uint64_t>* bytesRead)
{
    auto pieces = std::make_shared<detail::Pieces>();
    pieces->size = size;
    unsigned char* const buffer = ReadBuffer();
    if (!buffer)
        return {ReadEnd::Failed, 0, 0};
    char mark[2] = {};
    if (const long long got = readAt(buffer, 2, 0); got == 2)
        std::memcpy(mark, buffer, 2);
    pieces->encoding = LineCounter::EncodingOf(std::string_view(mark, 2));
    pieces->ranges.resize(static_cast<std::size_t>((size + kPieceSize - 1) / kPieceSize));

    const unsigned helpers = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()) - 1,
                                                   pieces->ranges.size() - 1);
    for (unsigned i = 0; i < helpers; ++i)
        WorkerPool::shared().post([pieces, readAt, stop, bytesRead] { pieces->work(readAt, stop, bytesRead); });
    pieces->work(readAt, stop, bytesRead);

    std::unique_lock lock(pieces->mutex);
    pieces->finished.wait(lock, [&] { return pieces->done == pieces->ranges.size(); });
    PiecesEnd end = pieces->end;
    if (end.end == ReadEnd::Complete)
        end.lines = JoinRanges(pieces->ranges);
    return end;
}

// Counts a regular file of `size` bytes through `readAt`: in pieces on every
// core when it is big, front to back otherwise. Gives the count, or the reason
// there is none; the caller still checks that the file did not change meanwhile.
template <class ReadAt>
LineCount CountFile(const ReadAt& readAt, std::uint64_t size, unsigned char* buffer, const std::atomic<bool>* stop,
                    std::atomic<std::uint64_t>* bytesRead)
{
    PiecesEnd end;
    if (size >= kPiecesFrom) {
        end = CountInPieces(readAt, size, stop, bytesRead);
    } else {
        LineCounter counter;
        end.end = CountWholeFile(readAt, buffer, size, counter, stop, bytesRead, end.error);
        end.lines = counter.lines();
    }
    switch (end.end) {
    case ReadEnd::Failed:
        return Uncounted(end.error ? std::string(kReadError) + SystemErrorReason(static_cast<int>(end.error))
                                   : std::string(kNoMemory));
    case ReadEnd::Stopped: return Uncounted(kStopped);
    case ReadEnd::Changed: return Uncounted(kChanged);
    case ReadEnd::Complete: break;
    }
    return {end.lines, {}};
}

}  // namespace rowtick::reading

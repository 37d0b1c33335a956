// Reading a big file in pieces on several threads at once.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "LineCounter.h"
#include "ReadBuffer.h"
#include "ReadEnd.h"
#include "WorkerPool.h"

namespace rowtick::reading {

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

}  // namespace rowtick::reading

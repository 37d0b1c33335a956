// Reading a big file in pieces on several threads at once.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "DataRun.h"
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
// A hole in the file is one piece of its own, whatever its length, and is not read.
inline constexpr std::uint64_t kPieceSize = 8 * 1024 * 1024;

struct PiecesEnd {
    ReadEnd end = ReadEnd::Complete;
    std::uint64_t lines = 0;
    long long error = 0;  // the first read error's code
};

namespace detail {

// The pieces of one file, shared with the helper threads. They are handed out
// front to back and joined in that order as they are finished; a piece is
// handed out only while fewer than `window` pieces wait to be joined, so the
// memory they take grows with the number of threads, never with the file.
// A helper that starts only after the count is over finds no piece left and
// touches nothing else.
class Pieces {
public:
    Pieces(LineCounter::Encoding encoding, std::uint64_t start, std::uint64_t end, std::size_t window)
        : encoding_(encoding), end_(end), position_(start), runEnd_(start), slots_(window)
    {
    }

    // Claims and counts pieces until none is left. A claimed piece is always
    // finished, so the caller waiting for every piece keeps what it reads valid.
    template <class ReadAt, class DataAt>
    void work(const ReadAt& readAt, const DataAt& dataAt, const std::atomic<bool>* stop,
              std::atomic<std::uint64_t>* bytesRead)
    {
        for (Piece piece; claim(dataAt, piece);) {
            LineCounter::Range range;
            long long error = 0;
            ReadEnd end = ReadEnd::Complete;
            if (piece.hole)
                range = ZeroBytes(piece.end - piece.start);
            else
                end = count(piece, readAt, stop, bytesRead, range, error);
            if (piece.hole && bytesRead)
                bytesRead->fetch_add(piece.end - piece.start, std::memory_order_relaxed);
            finish(piece.index, end, range, error);
        }
    }

    // Waits until every claimed piece is finished; gives how the reading ended
    // and, when it came to its end, every piece joined.
    PiecesEnd wait(LineCounter::Range& joined)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return claimed_ == finished_; });
        joined = joined_;
        return outcome_;
    }

private:
    struct Piece {
        std::size_t index = 0;
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        bool hole = false;
    };
    struct Slot {
        LineCounter::Range range;
        bool ready = false;
    };

    LineCounter::Range ZeroBytes(std::uint64_t bytes) const
    {
        LineCounter::Range zeros;
        const bool units16 = encoding_ != LineCounter::Encoding::Bytes;
        zeros.empty = (units16 ? bytes / 2 : bytes) == 0;
        zeros.oddByte = units16 && bytes % 2 != 0;
        return zeros;
    }

    // The next piece: a hole, or data up to the next multiple of kPieceSize. Where the
    // file holds data is asked here, under the lock, one run of data at a time.
    template <class DataAt>
    bool claim(const DataAt& dataAt, Piece& piece)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || position_ >= end_ || claimed_ - joinedCount_ < slots_.size(); });
        if (stopped_ || position_ >= end_)
            return false;
        piece.index = claimed_++;
        piece.start = position_;
        if (position_ >= runEnd_) {
            // Even offsets only, so that a UTF-16 unit is never cut: a byte of
            // a hole read as data reads as the zero it is.
            const DataRun run = dataAt(position_);
            const std::uint64_t start = run.start >= end_ ? end_ : std::max(position_, run.start & ~std::uint64_t{1});
            runEnd_ = run.end >= end_ - 1 ? end_ : std::min(end_, std::max(start + 2, (run.end + 1) & ~std::uint64_t{1}));
            if (start > position_) {
                piece.end = position_ = start;
                piece.hole = true;
                return true;
            }
        }
        piece.end = position_ = std::min(runEnd_, (position_ / kPieceSize + 1) * kPieceSize);
        piece.hole = false;
        return true;
    }

    template <class ReadAt>
    ReadEnd count(const Piece& piece, const ReadAt& readAt, const std::atomic<bool>* stop,
                  std::atomic<std::uint64_t>* bytesRead, LineCounter::Range& range, long long& error)
    {
        unsigned char* const buffer = ReadBuffer();
        if (!buffer)
            return ReadEnd::Failed;
        LineCounter counter(encoding_);
        for (std::uint64_t offset = piece.start; offset < piece.end;) {
            if (stop && stop->load(std::memory_order_relaxed))
                return ReadEnd::Stopped;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, piece.end - offset));
            const long long got = readAt(buffer, want, offset);
            if (got < 0) {
                error = -got;
                return ReadEnd::Failed;
            }
            if (got == 0)
                return ReadEnd::EndedEarly;
            counter.feed(std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got)));
            offset += static_cast<std::uint64_t>(got);
            if (bytesRead)
                bytesRead->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
        }
        range = counter.range();
        return ReadEnd::Complete;
    }

    // Keeps a finished piece until those before it are joined, and joins what can be.
    void finish(std::size_t index, ReadEnd end, const LineCounter::Range& range, long long error)
    {
        std::lock_guard lock(mutex_);
        ++finished_;
        if (end != ReadEnd::Complete) {
            if (!stopped_) {
                outcome_.end = end;
                outcome_.error = error;
            }
            stopped_ = true;
        } else {
            slots_[index % slots_.size()] = {range, true};
            for (Slot* next = &slots_[joinedCount_ % slots_.size()]; next->ready;
                 next = &slots_[joinedCount_ % slots_.size()]) {
                joined_ = JoinRange(joined_, next->range);
                next->ready = false;
                ++joinedCount_;
            }
        }
        changed_.notify_all();
    }

    const LineCounter::Encoding encoding_;
    const std::uint64_t end_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t position_;  // where the next piece starts
    std::uint64_t runEnd_;    // the end of the run of data that holds `position_`
    std::size_t claimed_ = 0;
    std::size_t finished_ = 0;
    std::size_t joinedCount_ = 0;
    std::vector<Slot> slots_;  // the finished pieces not yet joined, by index modulo their number
    LineCounter::Range joined_;
    bool stopped_ = false;  // a piece failed or was stopped: no more are handed out
    PiecesEnd outcome_;
};

}  // namespace detail

// Counts a big file in pieces, on this thread and on helpers from the worker
// pool, and joins the pieces. The pieces cover the first `size` bytes, less an
// odd last byte of a UTF-16 file; whatever the reads give after that, also
// beyond `size`, is read on this thread to the end of the file. The helpers
// only ever read while this call waits for them. A change of the file is for
// the caller to check.
template <class ReadAt, class DataAt>
PiecesEnd CountInPieces(const ReadAt& readAt, const DataAt& dataAt, std::uint64_t size,
                        const std::atomic<bool>* stop, std::atomic<std::uint64_t>* bytesRead)
{
    unsigned char* const buffer = ReadBuffer();
    if (!buffer)
        return {ReadEnd::Failed, 0, 0};
    // The mark, which settles how everything after it is read: a short read is
    // legal, an error leaves the encoding unknown.
    std::size_t markBytes = 0;
    while (markBytes < 2) {
        const long long got = readAt(buffer + markBytes, 2 - markBytes, markBytes);
        if (got < 0)
            return {ReadEnd::Failed, 0, -got};
        if (got == 0)
            break;
        markBytes += static_cast<std::size_t>(got);
    }
    const LineCounter::Encoding encoding
        = LineCounter::EncodingOf(std::string_view(reinterpret_cast<const char*>(buffer), markBytes));
    const std::uint64_t piecesEnd = encoding == LineCounter::Encoding::Bytes ? size : size & ~std::uint64_t{1};

    const std::uint64_t pieceCount = (size + kPieceSize - 1) / kPieceSize;
    const unsigned helpers = static_cast<unsigned>(
        std::min<std::uint64_t>(std::max(1u, std::thread::hardware_concurrency()) - 1, pieceCount - 1));
    auto pieces = std::make_shared<detail::Pieces>(encoding, LineCounter::MarkSize(encoding), piecesEnd,
                                                   4 * (std::size_t{helpers} + 1));
    for (unsigned i = 0; i < helpers; ++i)
        WorkerPool::shared().post(
            [pieces, readAt, dataAt, stop, bytesRead] { pieces->work(readAt, dataAt, stop, bytesRead); });
    pieces->work(readAt, dataAt, stop, bytesRead);
    LineCounter::Range joined;
    PiecesEnd end = pieces->wait(joined);
    if (end.end != ReadEnd::Complete)
        return end;

    LineCounter tail(encoding);
    for (std::uint64_t offset = piecesEnd;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return {ReadEnd::Stopped, 0, 0};
        const long long got = readAt(buffer, kBlockSize, offset);
        if (got < 0)
            return {ReadEnd::Failed, 0, -got};
        if (got == 0) {
            if (offset < size)  // an odd last byte of UTF-16 that the reads do not reach
                return {ReadEnd::EndedEarly, 0, 0};
            break;
        }
        tail.feed(std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got)));
        offset += static_cast<std::uint64_t>(got);
        if (bytesRead)
            bytesRead->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
    }
    const LineCounter::Range all = JoinRange(joined, tail.range());
    end.lines = JoinRanges(std::span(&all, 1));
    return end;
}

}  // namespace rowtick::reading

// Reading one file to its end for the line counter: what the POSIX and the
// Windows readers share.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "LineCounter.h"
#include "PieceCount.h"
#include "SystemError.h"
#include "Texts.h"
#include "Uncounted.h"
#include "WholeFileCount.h"

namespace rowtick::reading {

// Counts a regular file of `size` bytes through `readAt`: in pieces on every
// core when it is big, skipping the holes `dataAt` reports, front to back
// otherwise. Gives the count, or the reason
// there is none; the caller still checks that the file did not change meanwhile,
// also when the reads ended before `size` (kReadEndedEarly).
template <class ReadAt, class DataAt>
LineCount CountFile(const ReadAt& readAt, const DataAt& dataAt, std::uint64_t size, unsigned char* buffer, const std::atomic<bool>* stop,
                    std::atomic<std::uint64_t>* bytesRead)
{
    PiecesEnd end;
    if (size >= kPiecesFrom) {
        end = CountInPieces(readAt, dataAt, size, stop, bytesRead);
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
    case ReadEnd::EndedEarly: return Uncounted(kReadEndedEarly);
    case ReadEnd::Complete: break;
    }
    return {end.lines, {}};
}

}  // namespace rowtick::reading

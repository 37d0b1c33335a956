// Reading a file front to back on one thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "LineCounter.h"
#include "ReadBuffer.h"
#include "ReadEnd.h"

namespace rowtick::reading {

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
            return total < expectedSize ? ReadEnd::EndedEarly : ReadEnd::Complete;
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

}  // namespace rowtick::reading

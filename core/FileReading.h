// Reading one file to its end for the line counter: what the POSIX and the
// Windows readers share.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "LineCounter.h"

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

// What reading a file to its end came to.
enum class ReadEnd { Complete, Failed, Stopped };

// Reads a file that had `expectedSize` bytes before reading to its end with
// `read(into, capacity)` (bytes read, 0 at the end, negative on an error, which
// the reader keeps for itself) and counts its lines into `counter`.
template <class Read>
ReadEnd CountWholeFile(const Read& read, unsigned char* buffer, std::uint64_t expectedSize, LineCounter& counter,
                       const std::atomic<bool>* stop)
{
    std::uint64_t total = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return ReadEnd::Stopped;
        const auto got = read(buffer, kBlockSize);
        if (got < 0)
            return ReadEnd::Failed;
        if (got == 0)
            return ReadEnd::Complete;
        const auto size = static_cast<std::size_t>(got);
        counter.feed(std::string_view(reinterpret_cast<const char*>(buffer), size));
        total += size;
        // A short read that reaches the size the file had before reading is the
        // end: the read that would return 0 is saved. Growth after it shows in
        // the caller's second look at the file.
        if (size < kBlockSize && total == expectedSize)
            return ReadEnd::Complete;
    }
}

}  // namespace rowtick::reading

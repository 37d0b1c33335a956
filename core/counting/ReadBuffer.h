// The buffer each thread reads files into.
#pragma once

#include <cstddef>
#include <new>

namespace rowtick::reading {

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

}  // namespace rowtick::reading

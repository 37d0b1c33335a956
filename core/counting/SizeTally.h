// What a run's looks at its targets found to read, for a progress bar: the
// bytes, and how many targets were looked at. Several threads add to it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace rowtick {

struct SizeTally {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::size_t> looked{0};

    // One target looked at, with `size` bytes to read (0 for one not read).
    void add(std::uint64_t size)
    {
        bytes.fetch_add(size, std::memory_order_relaxed);
        looked.fetch_add(1);  // after the bytes: whoever sees the target looked at sees its bytes
    }
};

}  // namespace rowtick

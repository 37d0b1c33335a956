// Where a file holds data and where it holds holes, which read as zero bytes
// and need not be read.
#pragma once

#include <cstdint>

namespace rowtick::reading {

// The first run of data at or after an offset: [start, end). A file system that
// reports no holes gives the whole rest of the file as one run.
struct DataRun {
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::uint64_t start = kNone;  // kNone: only a hole is left
    std::uint64_t end = kNone;
};

// A data-run function is `dataAt(offset)`, giving the DataRun at or after
// `offset`. This one is for a file read without looking for holes.
inline DataRun AllData(std::uint64_t offset)
{
    return {offset, DataRun::kNone};
}

}  // namespace rowtick::reading

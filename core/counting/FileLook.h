// One look at a target before it is opened: what it is, and what it holds.
// Made once per target in a run, by whoever reaches it first: the sizing pass,
// which adds its bytes to the progress bar's total, or the worker that counts
// it. A worker given a look made earlier by the pass opens the file without
// looking again, and compares what it opened with the look.
#pragma once

#include <cstdint>
#include <optional>

namespace rowtick {

#ifdef _WIN32
struct FileLook {
    std::uint32_t error = 0;        // why the attributes could not be read, or 0
    std::uint32_t attributes = 0;   // the name's own (a link's, for a link)
    std::uint64_t size = 0;
    bool sized = false;             // `size` is what a read gives; false: the file is not read

    std::optional<std::uint64_t> toRead() const
    {
        if (error != 0 || !sized)
            return std::nullopt;
        return size;
    }
};
#else
// Small, as a run keeps one for every target the pass reaches before a worker.
struct FileLook {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::uint32_t modifiedNanoseconds : 30 = 0;
    std::uint32_t hidden : 1 = 0;      // a hidden name, looked at itself rather than followed
    std::int32_t modeOrError = 0;      // the file's mode, or the lookup's errno negated

    int error() const { return modeOrError < 0 ? -modeOrError : 0; }
    std::uint32_t mode() const { return modeOrError < 0 ? 0 : static_cast<std::uint32_t>(modeOrError); }
    // The bytes the counter reads: those of a regular file with a name that is
    // not hidden, and no other.
    std::optional<std::uint64_t> toRead() const;
};
#endif

}  // namespace rowtick

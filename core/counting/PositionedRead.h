// The POSIX reader's positioned read, which a test can replace.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rowtick::reading {

#ifndef _WIN32
// The positioned read of the POSIX reader: pread(2) unless a test puts in one of
// its own to make a read fail or the file change part-way. Returns what pread
// returns; on an error, -1 with errno set.
using PositionedRead = long (*)(int descriptor, void* into, std::size_t size, std::uint64_t offset);
// Null puts pread back.
void SetPositionedRead(PositionedRead read);
// Called between the look at a file and its opening, so that a test can put
// something else in its place there; null for nothing.
void SetBetweenLookAndOpen(void (*seam)());
#endif

}  // namespace rowtick::reading

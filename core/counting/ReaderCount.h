// How many workers a counting run starts when its caller leaves it to the job.
//
// Many small files from a cold disk: each worker spends most of its time
// waiting for a read, and the disk answers many reads at once, so a run with
// a worker per core leaves the disk idle. Sixteen readers read /usr/include
// from a cold page cache in about a third of the time of two (a 2-core
// machine with a virtio disk), about as fast as io_uring batches of 64 to
// 128; from a warm cache they cost no more processor time than two, as the
// extra workers only take turns on the cores.
#pragma once

namespace rowtick {

// Reads a run keeps in flight at least, whatever the cores.
inline constexpr unsigned kReadsInFlight = 16;

// The workers: one per processor core, and never fewer than kReadsInFlight.
unsigned ReaderCount();

}  // namespace rowtick

// How reading a file ended.
#pragma once

namespace rowtick::reading {

// What reading a file came to. EndedEarly: the reads came to the end before
// the size the file had when reading began; whether the file changed or only
// its reads fell short (as on some network and FUSE file systems) is for the
// caller's second look at the file to tell.
enum class ReadEnd { Complete, Failed, Stopped, Changed, EndedEarly };

}  // namespace rowtick::reading

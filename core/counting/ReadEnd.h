// How reading a file ended.
#pragma once

namespace rowtick::reading {

// What reading a file came to.
enum class ReadEnd { Complete, Failed, Stopped, Changed };

}  // namespace rowtick::reading

// Writing the result file.
#pragma once

#include <filesystem>
#include <string>

#include "ResultList.h"

namespace rowtick {

struct WriteOutcome {
    bool ok = false;
    std::string reason;  // why not, in Japanese (UTF-8); empty on success
};

// The whole result file: every row's bytes followed by CR LF, no header,
// no byte-order mark. No rows give no bytes.
std::string ResultFileBytes(const ResultList& results);

// Writes the result file to `path`, replacing an existing file atomically: the
// bytes go to a temporary file beside it, which is flushed to disk and renamed
// over the target only when complete, so a failed save leaves the old file whole.
// Where a plain overwrite works but that cannot (a folder that takes no new
// file, a file with other names), the file is rewritten in place and its old
// bytes are put back if that fails. A link is followed to the file it names,
// which is created if missing. Reports success only for a file written
// completely and flushed to disk.
WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results);

}  // namespace rowtick

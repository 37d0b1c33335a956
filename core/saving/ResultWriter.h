// Writing the result file.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "counting/ResultList.h"

namespace rowtick {

struct WriteOutcome {
    bool ok = false;
    std::string reason;   // why not, in Japanese (UTF-8); empty on success
    std::string warning;  // saved, but with this caveat (Japanese, UTF-8); usually empty
};

// The whole result file: every row's bytes followed by CR LF, no header,
// no byte-order mark. No rows give no bytes.
std::string ResultFileBytes(const ResultList& results);
// One row of the result file, its bytes and CR LF, appended to `bytes`: a file
// written a row at a time holds what ResultFileBytes gives for all of them.
void AppendResultLine(std::string& bytes, const ResultRow& row);

// Writes the result file to `path`. What is there is opened once, and every
// decision is taken from what was opened (SaveDecision): a file with one name
// is replaced by a new file that carries its owner, group, mode, ACL,
// attributes and flags, complete and flushed before it takes the name; a file
// with other names, one reached through a link, and one whose replacement
// could not carry all that are rewritten in place, after a complete copy of
// their old bytes is on disk, and locked against a second save meanwhile. A failed or killed save leaves the old file, the
// new file, or a copy of the old bytes (see README, "The result file").
// Reports success only for a file written completely and flushed to disk.
WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results);

// Seams for the tests.
struct ResultWriterSeams {
    // Called between the look at the chosen name and its open.
    static inline void (*betweenLookAndOpen)(const std::filesystem::path& path) = nullptr;
    // Called in a rewrite in place between the cut and the write of the new rows.
    static inline void (*betweenCutAndWrite)(const std::filesystem::path& path) = nullptr;
    // Where this process's open files are named (POSIX); without it there are no unnamed files.
    static inline const char* openFiles = "/proc/self/fd";
    // The computer's identity in place of the system's own (another computer's saves), or nullptr.
    static inline const char* machine = nullptr;
    // How long a save waits for another save that is rewriting the same file.
    static inline std::chrono::milliseconds lockWait{3000};
};

}  // namespace rowtick

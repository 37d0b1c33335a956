// The folder of a run of targets, opened once for all of them: each target in
// it is then found by its last name alone, one walk of the folder's path for
// the run instead of one for every target. A run is short (the targets one
// worker claims at a time), so a folder replaced during a run is seen by the
// runs after it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "LineCounter.h"
#include "SizeTally.h"

namespace rowtick {

class FolderRun {
public:
    FolderRun() = default;
    ~FolderRun();
    FolderRun(const FolderRun&) = delete;
    FolderRun& operator=(const FolderRun&) = delete;

#ifndef _WIN32
    // Where the POSIX path `path` is looked up: the descriptor of its folder and
    // its last name; or AT_FDCWD and the whole path when it has no folder part,
    // no last name, or its folder cannot be opened (then the lookup by the whole
    // name gives the reason).
    struct Place {
        int folder;
        const char* name;
    };
    Place place(const std::string& path);

private:
    std::string folder_;
    int descriptor_ = -1;
    bool opened_ = false;  // folder_ was tried: descriptor_ is its descriptor, or -1
#endif
};

// CountLines for a target of the run, given as the path's own string: the
// same answer, its folder opened once for the run (by the whole name on Windows).
// `sized`, when given, is added what SizeToRead gives for the file, taken from
// the look made to count it, before it is read.
LineCount CountLines(const std::filesystem::path::string_type& path, FolderRun& run, const std::atomic<bool>* stop = nullptr,
                     std::atomic<std::uint64_t>* bytesRead = nullptr, SizeTally* sized = nullptr);
// The bytes CountLines reads of `path`, or nothing for a file it does not read
// at all (hidden, not a regular file, missing). One look at the file, for a
// progress bar: a file that then cannot be read adds its size to CountLines's
// `bytesRead` (on Windows, a file that cannot be opened is not sized), so
// that a bar sized by it reaches its end.
std::optional<std::uint64_t> SizeToRead(const std::filesystem::path::string_type& path, FolderRun& run);

}  // namespace rowtick

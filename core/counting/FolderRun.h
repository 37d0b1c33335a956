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

#include "FileLook.h"
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

// The look at `path` (a target of the run, given as the path's own string),
// its folder opened once for the run, as CountLines makes it before opening.
FileLook LookAt(const std::filesystem::path::string_type& path, FolderRun& run);

// CountLines for a target of the run: the same answer, its folder opened once
// for the run (by the whole name on Windows). `looked`, when given, is a look
// made at it earlier in the run, used instead of a look of its own: a look
// that failed is made again, and a file that is not the one looked at, or that
// changed since, is looked at again and read as it is then. Without `looked`,
// `sized`, when given, is added the bytes of its own look, before it is read.
LineCount CountLines(const std::filesystem::path::string_type& path, FolderRun& run, const FileLook* looked = nullptr,
                     const std::atomic<bool>* stop = nullptr, std::atomic<std::uint64_t>* bytesRead = nullptr,
                     SizeTally* sized = nullptr);

}  // namespace rowtick

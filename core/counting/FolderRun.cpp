#include "FolderRun.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace rowtick {

#ifdef _WIN32
FolderRun::~FolderRun() = default;

// On Windows a target is found by its whole name: see CountLinesWindows.cpp.
#else
namespace {

// The folder is only looked in: as for a lookup by the whole name, no read
// right on it is needed (without O_PATH, a folder that has none is looked in
// by whole names).
#ifdef O_PATH
constexpr int kLookInOnly = O_PATH;
#else
constexpr int kLookInOnly = O_RDONLY;
#endif

}  // namespace

FolderRun::~FolderRun()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

FolderRun::Place FolderRun::place(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size())
        return {AT_FDCWD, path.c_str()};
    const std::string_view folder(path.data(), slash == 0 ? 1 : slash);
    if (!opened_ || folder != folder_) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        folder_ = folder;
        descriptor_ = ::open(folder_.c_str(), kLookInOnly | O_DIRECTORY | O_CLOEXEC);
        opened_ = true;
    }
    if (descriptor_ < 0)
        return {AT_FDCWD, path.c_str()};
    return {descriptor_, path.c_str() + slash + 1};
}
#endif

}  // namespace rowtick

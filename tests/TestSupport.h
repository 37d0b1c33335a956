// Shared by the core tests: what they include, a temporary folder per test, files written and read whole.
#pragma once
#include <algorithm>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#endif
#include "counting/CountingJob.h"
#include "counting/CountingRun.h"
#include "counting/FolderRun.h"
#include "Obstacles.h"
#include "saving/ResultWriter.h"

namespace rowtick::test {
namespace fs = std::filesystem;
using Where = const fs::path&;  // the test's folder, where a data row makes its target
using namespace std::literals;

inline fs::path WriteFile(const fs::path& file, std::string_view bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
    return file;
}

inline std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline fs::path MakeTempFolder()
{
#ifdef _WIN32
    static int made = 0;
    const fs::path name = fs::temp_directory_path() / ("rowtick-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++made));
    fs::create_directory(name);
    return name;
#else
    char name[] = "/tmp/rowtick-test-XXXXXX";
    ::mkdtemp(name);
    ::chmod(name, 0755);
    return name;
#endif
}

// A path written with "/" as the separator, in the system's own form ("\" on Windows).
inline fs::path Native(fs::path path)
{
    return path.make_preferred();
}

#ifdef _WIN32
// Removes a folder with everything in it, read-only, hidden and system files too.
inline void RemoveAll(const std::wstring& folder)
{
    // Listed first and removed after: entries removed during a search can hide others from it.
    std::vector<std::pair<std::wstring, bool>> entries;  // name, is a folder
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found))
        entries.emplace_back(found.cFileName, found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    for (const auto& [name, isFolder] : entries) {
        if (name == L"." || name == L"..")
            continue;
        const std::wstring entry = folder + L"\\" + name;
        ::SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFolder)
            RemoveAll(entry);
        else
            ::DeleteFileW(entry.c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}
#endif

struct TempFolder {  // a fresh folder, removed with everything in it
    const fs::path root = MakeTempFolder();
    ~TempFolder()
    {
#ifdef _WIN32
        ReleaseHeldFiles();
        RemoveAll(L"\\\\?\\" + root.native());  // the "\\?\" form reaches long paths
#else
        std::error_code ignored;
        ::chmod(root.c_str(), 0700);
        fs::remove_all(root, ignored);
#endif
    }
    const fs::path& path() const { return root; }
    fs::path write(const fs::path& name, std::string_view bytes) const { return WriteFile(root / name, bytes); }
};

inline std::string Take(CountingJob& job)  // the job's rows as a result file, once it finishes
{
    ResultList rows;
    while (!job.finished()) {
        job.wait(50ms);
        for (ResultRow& row : job.takeRows())
            rows.append(std::move(row));
    }
    return ResultFileBytes(rows);
}

inline auto ScenarioName = [](const auto& info) {  // a row's scenario as its test name: "CR LF" -> "CR_LF"
    return std::regex_replace(std::string(info.param.scenario), std::regex("\\W"), "_"); };
}  // namespace rowtick::test

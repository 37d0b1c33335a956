// Shared by the core tests: what they include, a temporary folder per test, files written and read whole.
#pragma once
#include <fstream>
#include <future>
#include <random>
#include <regex>
#include <set>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include "CountingJob.h"
#include "CountingRun.h"
#include "Obstacles.h"
#include "ResultWriter.h"

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

struct TempFolder {  // a fresh folder, removed with everything in it
    const fs::path root = [] { char name[] = "/tmp/rowtick-test-XXXXXX"; return ::chmod(::mkdtemp(name), 0755), fs::path(name); }();
    ~TempFolder() { std::error_code ignored; ::chmod(root.c_str(), 0700), fs::remove_all(root, ignored); }
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

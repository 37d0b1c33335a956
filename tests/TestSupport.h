// Shared by the core tests: a temporary folder per test, names for data rows,
// and reading a file back whole.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace rowtick::test {

// A fresh folder named after the running test, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("rowtick-") + info->test_suite_name() + "-" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        root_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return root_; }

    // Creates (or replaces) the file `name` in this folder holding `bytes`.
    std::filesystem::path write(const std::filesystem::path& name, std::string_view bytes) const
    {
        return writeTo(root_ / name, bytes);
    }
    static std::filesystem::path writeTo(const std::filesystem::path& file, std::string_view bytes)
    {
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
        return file;
    }

private:
    std::filesystem::path root_;
};

// A data row's scenario as a test name: "CR at the end" -> "CR_at_the_end".
struct ScenarioName {
    template <class Info>
    std::string operator()(const Info& info) const
    {
        std::string name = info.param.scenario;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    }
};

inline std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace rowtick::test

namespace rowtick {
namespace {

// A data row prints as its scenario when a test fails, not as its bytes. In
// the tests' own unnamed namespace, where the rows live and the lookup finds it.
template <class Case>
    requires requires(const Case& c) { c.scenario; }
std::ostream& operator<<(std::ostream& out, const Case& c)
{
    return out << c.scenario;
}

}  // namespace
}  // namespace rowtick

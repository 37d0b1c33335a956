#include <gtest/gtest.h>

#include "TargetList.h"
#include "TestSupport.h"

namespace rowtick {
namespace {

TEST(TargetList, KeepsTheHintRowThenEveryDropInOrder)
{
    TargetList targets;
    EXPECT_EQ(targets.rowCount(), 1);
    EXPECT_TRUE(TargetList::isHintRow(0));
    EXPECT_EQ(RegisteredCountText(targets.registeredCount()), "登録数=0");

    const std::filesystem::path first[] = {"/src/b.cpp", "/src/a.cpp", "/src"};
    targets.append(first);
    targets.append("/src/b.cpp");
    ASSERT_EQ(targets.rowCount(), 5);
    EXPECT_FALSE(TargetList::isHintRow(1));
    const std::vector<std::filesystem::path> all = {"/src/b.cpp", "/src/a.cpp", "/src", "/src/b.cpp"};
    for (std::int64_t row = 1; row < targets.rowCount(); ++row)
        EXPECT_EQ(targets.target(row).native(), all[row - 1].native());
    EXPECT_EQ(RegisteredCountText(targets.registeredCount()), "登録数=4");
    EXPECT_EQ(RegisteredCountText(5000000000), "登録数=5000000000");
}

struct FileNameCase {
    const char* scenario;
    std::string path;
    std::string expected;
};

class FileNameOfTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(FileNameOfTest, TakesWhatFollowsTheLastSeparator)
{
    EXPECT_EQ(FileNameOf(std::filesystem::path(GetParam().path)).native(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileNameOfTest,
    ::testing::Values(FileNameCase{"full path", "/src/main.bas", "main.bas"},
                      FileNameCase{"file in the root", "/main.bas", "main.bas"},
                      FileNameCase{"path ending with the separator", "/src/", ""},
                      FileNameCase{"bare name", "main.bas", ""}, FileNameCase{"empty path", "", ""},
                      FileNameCase{"backslash is part of a name here", "/src/a\\b.txt", "a\\b.txt"},
                      FileNameCase{"name that is not UTF-8", "/old/\x83\x65\x83\x58.txt", "\x83\x65\x83\x58.txt"}),
    test::ScenarioName());

}  // namespace
}  // namespace rowtick

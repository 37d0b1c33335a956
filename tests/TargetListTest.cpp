#include <gtest/gtest.h>

#include "TestSupport.h"

#include "TargetList.h"
#include "Texts.h"

namespace rowtick {
namespace {

TEST(TargetList, StartsWithTheHintRowAlone)
{
    const TargetList targets;
    EXPECT_EQ(targets.rowCount(), 1);
    EXPECT_EQ(targets.registeredCount(), 0);
    EXPECT_TRUE(TargetList::isHintRow(0));
    EXPECT_EQ(RegisteredCountText(targets.registeredCount()), "登録数=0");
}

TEST(TargetList, AppendsInDropOrderKeepingDuplicatesAndFolders)
{
    TargetList targets;
    const std::filesystem::path first[] = {"/src/b.cpp", "/src/a.cpp", "/src"};
    targets.append(first);
    targets.append("/src/b.cpp");

    ASSERT_EQ(targets.rowCount(), 5);
    EXPECT_EQ(targets.target(1), "/src/b.cpp");
    EXPECT_EQ(targets.target(2), "/src/a.cpp");
    EXPECT_EQ(targets.target(3), "/src");
    EXPECT_EQ(targets.target(4), "/src/b.cpp");
    EXPECT_EQ(RegisteredCountText(targets.registeredCount()), "登録数=4");
}

TEST(TargetList, RegisteredCountTextHasNoLimitAt16Bits)
{
    EXPECT_EQ(RegisteredCountText(32768), "登録数=32768");
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
    ::testing::Values(
        FileNameCase{"full path", "/src/main.bas", "main.bas"},
        FileNameCase{"file in the root", "/main.bas", "main.bas"},
        FileNameCase{"path ending with the separator", "/src/", ""},
        FileNameCase{"bare name", "main.bas", ""},
        FileNameCase{"empty path", "", ""},
        FileNameCase{"hint row", std::string(kHintRow), ""},
        FileNameCase{"backslash is part of a name here", "/src/a\\b.txt", "a\\b.txt"},
        FileNameCase{"windows path has no separator here", "C:\\src\\main.bas", ""},
        FileNameCase{"name that is not UTF-8", "/old/\x83\x65\x83\x58\x83\x67.txt", "\x83\x65\x83\x58\x83\x67.txt"},
        FileNameCase{"hidden file", "/src/.profile", ".profile"}),
    test::ScenarioName());

}  // namespace
}  // namespace rowtick

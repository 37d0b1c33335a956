#include <gtest/gtest.h>

#include "TestSupport.h"

#include "ResultList.h"

namespace rowtick {
namespace {

TEST(ResultRow, CountedRowIsCountCommaTabPath)
{
    const ResultRow row{"/src/main.bas", 120, {}};
    EXPECT_EQ(row.countText(), "120");
    EXPECT_EQ(row.bytes(), "120,\t/src/main.bas");
}

TEST(ResultRow, UncountedRowHasADashForTheCount)
{
    const ResultRow row{"/src", std::nullopt, "フォルダです"};
    EXPECT_EQ(row.countText(), "-");
    EXPECT_EQ(row.bytes(), "-,\t/src");
}

TEST(ResultRow, CountsPastSixteenBitsAreExact)
{
    EXPECT_EQ((ResultRow{"/big", 32768, {}}).countText(), "32768");
    EXPECT_EQ((ResultRow{"/huge", 4294967296ULL, {}}).countText(), "4294967296");
}

struct PathFieldCase {
    const char* scenario;
    std::string path;
    std::string expected;
};

class PathFieldTest : public ::testing::TestWithParam<PathFieldCase> {};

TEST_P(PathFieldTest, KeepsEveryRowOnOneLine)
{
    const std::string field = PathFieldBytes(std::filesystem::path(GetParam().path));
    EXPECT_EQ(field, GetParam().expected);
    EXPECT_EQ(field.find_first_of("\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathFieldTest,
    ::testing::Values(
        PathFieldCase{"plain", "/src/main.bas", "/src/main.bas"},
        PathFieldCase{"tab and quotes stay as they are", "/src/a\tb 'c' \"d\".txt", "/src/a\tb 'c' \"d\".txt"},
        PathFieldCase{"backslash without line break stays", "/src/a\\nb", "/src/a\\nb"},
        PathFieldCase{"bytes that are not UTF-8 stay", "/old/\x83\x65\xff.txt", "/old/\x83\x65\xff.txt"},
        PathFieldCase{"line feed is quoted", "/src/a\nb", "$'/src/a\\nb'"},
        PathFieldCase{"carriage return is quoted", "/src/a\rb", "$'/src/a\\rb'"},
        PathFieldCase{"quoted path escapes backslash and quote", "/x\\y'\nz", "$'/x\\\\y\\'\\nz'"}),
    test::ScenarioName());

}  // namespace
}  // namespace rowtick

#include "TestSupport.h"
#include "Texts.h"
#include "targets/UriList.h"

namespace rowtick { namespace {
using namespace test;

std::string Repeated(std::string_view text, std::size_t times)
{
    std::string all;
    for (std::size_t i = 0; i < times; ++i)
        all += text;
    return all;
}

struct UriListCase {
    const char* scenario;
    std::string list;
    std::vector<std::pair<std::string, std::string_view>> expected;
};
class DroppedUriList : public ::testing::TestWithParam<UriListCase> {};

// Every line of a drop gives its entry in order; one that names no file here is kept, refused, as dropped.
TEST_P(DroppedUriList, GivesEachEntryAsDropped)
{
    const UriListCase& c = GetParam();
    std::vector<std::pair<fs::path::string_type, std::string>> entries;
    for (const DroppedTarget& target : DroppedTargetsFromUriList(c.list))
        entries.emplace_back(target.path, target.refusal);
    std::vector<std::pair<fs::path::string_type, std::string>> expected;
    for (const auto& [path, refusal] : c.expected)
        expected.emplace_back(fs::path(std::u8string(path.begin(), path.end())).native(), refusal);  // any bytes on POSIX
    EXPECT_EQ(entries, expected);
}

const std::string kShownStart = std::string(kLongestShownEntry - 1, 'a') + "\u2026";
#ifdef _WIN32
// On Windows a file URL's path is UTF-8 with "/" between names and a leading "/" before the drive; another
// computer's file is a network path read like any other, unless its name holds a NUL.
INSTANTIATE_TEST_SUITE_P(WindowsLines, DroppedUriList, ::testing::Values(
        UriListCase{"drive", "file:///C:/src/a.c", {{"C:\\src\\a.c", ""}}},
        UriListCase{"another computer", "file://server/share/b.c", {{"\\\\server\\share\\b.c", ""}}},
        UriListCase{"UTF-8 name", "file:///C:/%E8%A8%88%E7%AE%97.bas", {{"C:\\\u8a08\u7b97.bas", ""}}},
        UriListCase{"encoded NUL", "file:///C:/a%00b.txt", {{"C:\\a\0b.txt"s, kImpossibleName}}},
        UriListCase{"another computer, encoded NUL", "file://server/share/a%00b.txt",
                    {{"\\\\server\\share\\a\0b.txt"s, kImpossibleName}}},
        UriListCase{"another computer, raw NUL", "file://server/share/a\0b.txt"s,
                    {{"\\\\server\\share\\a\0b.txt"s, kImpossibleName}}},
        UriListCase{"NUL in the host", "file://ser%00ver/share/a.txt", {{"\\\\ser\0ver\\share\\a.txt"s, kImpossibleName}}},
        UriListCase{"relative", "file:relx.txt", {{"relx.txt", kRelativePath}}},
        UriListCase{"as long as a path can be", "file:///C:/" + std::string(32763, 'a'),
                    {{"C:\\" + std::string(32763, 'a'), ""}}},
        UriListCase{"longer than a path can be", "file:///" + std::string(32767, 'a'), {{"\\" + kShownStart, kPathTooLong}}},
        UriListCase{"a line of a million encoded bytes", "file:///" + Repeated("%E3%81%82", 1000000),
                    {{"\\" + Repeated("\u3042", kLongestShownEntry - 1) + "\u2026", kPathTooLong}}}),
    ScenarioName);
#else
INSTANTIATE_TEST_SUITE_P(Lines, DroppedUriList, ::testing::Values(
        UriListCase{"CR LF", "file:///a/b.c\r\nfile:///d.c\r\n", {{"/a/b.c", ""}, {"/d.c", ""}}},
        UriListCase{"LF without a last line end", "file:///a.c\nfile:///b.c", {{"/a.c", ""}, {"/b.c", ""}}},
        UriListCase{"lone CR", "file:///a.c\rfile:///b.c\r", {{"/a.c", ""}, {"/b.c", ""}}},
        UriListCase{"comments, empty lines, other schemes", "# from a test\r\n\r\nhttps://hv.example/x\r\nfile:///a.c\r\n",
                    {{"/a.c", ""}}},
        UriListCase{"percent-encoded bytes not UTF-8", "FILE:///%83%65%FF%20x%2fy%zz%4", {{"/\x83\x65\xff x/y%zz%4", ""}}},
        UriListCase{"empty host, localhost, no authority", "file:///a\nfile://LocalHost/b\nfile:/c\nfile://local%68ost/d",
                    {{"/a", ""}, {"/b", ""}, {"/c", ""}, {"/d", ""}}},
        UriListCase{"another computer", "file://otherhost/etc/hostname", {{"//otherhost/etc/hostname", kOtherComputer}}},
        UriListCase{"encoded NUL", "file:///etc/hostname%00.txt", {{"/etc/hostname\0.txt"s, kImpossibleName}}},
        UriListCase{"raw NUL", "file:///etc/hostname\0.txt\r\n"s, {{"/etc/hostname\0.txt"s, kImpossibleName}}},
        UriListCase{"another computer, encoded NUL", "file://otherhost/a%00b", {{"//otherhost/a\0b"s, kImpossibleName}}},
        UriListCase{"relative", "file:relx.txt", {{"relx.txt", kRelativePath}}},
        UriListCase{"query or fragment", "file:///etc/hostname?x\nfile:///a#b",
                    {{"/etc/hostname?x", kNotPlainFileUrl}, {"/a#b", kNotPlainFileUrl}}},
        UriListCase{"no path", "file://\nfile://host", {}},
        UriListCase{"as long as a path can be", "file:///" + std::string(4094, 'a'), {{"/" + std::string(4094, 'a'), ""}}},
        UriListCase{"longer than a path can be", "file:///" + std::string(4095, 'a'), {{"/" + kShownStart, kPathTooLong}}},
        UriListCase{"a line of a million encoded bytes", "file:///" + Repeated("%61", 1000000) + "\r\nfile:///b",
                    {{"/" + kShownStart, kPathTooLong}, {"/b", ""}}},
        UriListCase{"cut before a character", "file:///" + std::string(kLongestShownEntry - 2, 'a') + Repeated("\u3042", 2000),
                    {{"/" + std::string(kLongestShownEntry - 2, 'a') + "\u2026", kPathTooLong}}}),
    ScenarioName);

// A drop large enough to be shared out among processors keeps every line, in order, whatever its line ends.
TEST(DroppedUriList, LargeListKeepsEveryLineInOrder)
{
    for (const std::string_view lineEnd : {"\r\n"sv, "\n"sv, "\r"sv}) {
        std::string list;
        std::vector<std::string> paths;
        std::vector<std::string> entries;
        for (int i = 0; i < 200'000; ++i) {
            paths.push_back("/src/long/enough/folder/name/file" + std::to_string(i) + ".c");
            list += "file://" + paths.back() + std::string(lineEnd);
        }
        for (const DroppedTarget& entry : DroppedTargetsFromUriList(list))
            entries.push_back(entry.path);
        ASSERT_TRUE(entries == paths) << entries.size() << " entries";
    }
}

#endif  // !_WIN32
}}  // namespace rowtick

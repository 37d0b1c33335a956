#include "TestSupport.h"
#include "counting/PositionedRead.h"
#include "ReferenceLines.h"

namespace rowtick { namespace {
using namespace test;

std::string Utf16(std::u16string_view text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text)
        bytes += bigEndian ? std::string{char(unit >> 8), char(unit)} : std::string{char(unit), char(unit >> 8)};
    return bytes;
}

struct LinesCase { std::string scenario, bytes; std::uint64_t lines; };
class LineEndRule : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LineEndRule, CountsTheSameWholeByteByByteAndInTwoBlocks)
{
    const auto& [scenario, bytes, lines] = GetParam();
    EXPECT_EQ(CountLinesInBuffer(bytes), lines);
    EXPECT_EQ(ReferenceLines(bytes), lines);  // keeps the reference the block tests compare with honest
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        LineCounter twoBlocks;
        twoBlocks.feed(std::string_view(bytes).substr(0, cut));
        twoBlocks.feed(std::string_view(bytes).substr(cut));
        EXPECT_EQ(twoBlocks.lines(), lines) << "cut at " << cut;
    }
    LineCounter counter;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        counter.feed(std::string_view(bytes).substr(i, 1));
        ASSERT_EQ(counter.lines(), ReferenceLines(bytes.substr(0, i + 1))) << "after byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LineEndRule, ::testing::Values(
        LinesCase{"LF", "a\nb\n", 2},
        LinesCase{"CR", "a\rb\r", 2},
        LinesCase{"CR LF", "a\r\nb\r\n", 2},
        LinesCase{"empty", "", 0},
        LinesCase{"LF CR is two", "a\n\rb", 3},
        LinesCase{"trailing text", "a\nbc", 2},
        LinesCase{"UTF16 LE CR LF", Utf16(u"a\r\nb\r\n\n", false), 3},
        LinesCase{"UTF16 BE CR LF", Utf16(u"a\r\nb\r\rc", true), 4},
        LinesCase{"UTF16 unit 0D0A is content", Utf16(u"\u0D0A\u0A0D", false), 1},
        LinesCase{"BOM only", "\xFF\xFE", 0},
        LinesCase{"odd trailing byte", Utf16(u"a\r", true) + "\n", 2},
        LinesCase{"Ctrl Z is content", "a\x1A\n\x1A", 2}),
    ScenarioName);

struct TargetCase { std::string scenario; std::function<fs::path(Where)> make; std::string count, reason; };
class Target : public ::testing::TestWithParam<TargetCase> {};

#ifndef _WIN32
struct OpenWatch {  // sees every open of one name (not following a link) while it lives
    const int events = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    explicit OpenWatch(const fs::path& name) { ::inotify_add_watch(events, name.c_str(), IN_OPEN | IN_DONT_FOLLOW); }
    ~OpenWatch() { ::close(events); }
    bool opened() const  // the name itself, not a file in it when it is a folder
    {
        alignas(inotify_event) char buffer[4096];
        const ssize_t size = ::read(events, buffer, sizeof buffer);
        for (ssize_t at = 0; at < size; at += ssize_t(sizeof(inotify_event)) + ((inotify_event*)(buffer + at))->len)
            if (((inotify_event*)(buffer + at))->len == 0)
                return true;
        return false;
    }
};
#endif

// Each target, counted in a run before a plain file, gets its row and the run goes on (a hang fails by CTest's
// timeout); the counting job, which opens the folder once for both, gives the same rows.
TEST_P(Target, GetsItsRowAndTheRunGoesOn)
{
    const TargetCase& c = GetParam();
    TempFolder folder;
    const auto targets = std::make_shared<TargetList>();
    targets->append(std::vector{c.make(folder.path()), folder.write("next.txt", "x\ny\n")});
#ifndef _WIN32
    std::optional<OrdinaryUser> user;
    if (c.scenario == "unreadable file" && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user";
    const OpenWatch watch(targets->target(1));
#endif
    ResultList results;
    RunCount(*targets, results);
    ASSERT_EQ(results.rowCount(), 2);
    EXPECT_EQ(results.row(0).countText() + results.row(0).reason + "|" + results.row(1).countText(), c.count + c.reason + "|2");
#ifndef _WIN32
    // Only a file that is counted is ever opened: no FIFO, device, folder or hidden file is.
    if (!results.row(0).lines)
        EXPECT_FALSE(watch.opened());
#endif
    CountingJob job(targets, 1);
    job.start();
    EXPECT_EQ(Take(job), ResultFileBytes(results));
}

#ifdef _WIN32
fs::path WithAttribute(const fs::path& file, DWORD attribute)
{
    ::SetFileAttributesW(file.c_str(), attribute);
    return file;
}
#else
fs::path Link(const fs::path& target, const fs::path& link)
{
    fs::create_symlink(target, link);
    return link;
}

fs::path Fifo(Where f)
{
    ::mkfifo((f / "pipe").c_str(), 0600);
    return f / "pipe";
}
#endif

INSTANTIATE_TEST_SUITE_P(Kinds, Target, ::testing::ValuesIn(std::vector<TargetCase>{
        {"missing", [](Where f) { return f / "gone.c"; }, "-", "ファイルが見つかりません"},
        {"folder", [](Where f) { return f; }, "-", "フォルダです"},
#ifdef _WIN32
        {"hidden attribute", [](Where f) { return WithAttribute(WriteFile(f / "h.c", "a\n"), FILE_ATTRIBUTE_HIDDEN); }, "-",
         "隠しファイルです"},
        {"system attribute", [](Where f) { return WithAttribute(WriteFile(f / "s.c", "a\n"), FILE_ATTRIBUTE_SYSTEM); }, "-",
         "システムファイルです"},
        {"held open without sharing", [](Where f) { return HoldOpen(WriteFile(f / "held.c", "a\n")); }, "-",
         "他のプログラムが使用中です"},
        {"name outside code page 932", [](Where f) { return WriteFile(f / u8"한글é.c", "a\nb\n"); }, "2", ""},
        {"path longer than 260 characters", [](Where f) { return LongFile(f, "a\nb\nc"); }, "3", ""},
#else
        {"hidden", [](Where f) { return WriteFile(f / ".hidden", "a\n"); }, "-", "隠しファイルです"},
        {"FIFO without a writer", Fifo, "-", "名前付きパイプ (FIFO) です"},
        {"FIFO with a writer", [](Where f) {  // the writer stays open: the pipe never ends
             const fs::path pipe = Fifo(f);
             (void)!::write(::open(pipe.c_str(), O_RDWR), "a\n", 2);
             return pipe;
         }, "-", "名前付きパイプ (FIFO) です"},
        {"socket", [](Where f) {
             sockaddr_un address{AF_UNIX, {}};
             (f / "sock").native().copy(address.sun_path, sizeof address.sun_path - 1);
             ::bind(::socket(AF_UNIX, SOCK_STREAM, 0), (sockaddr*)&address, sizeof address);
             return f / "sock";
         }, "-", "ソケットです"},
        {"dev zero through a link", [](Where f) { return Link("/dev/zero", f / "z.c"); }, "-", "デバイスです"},
        {"dangling link", [](Where f) { return Link(f / "gone", f / "l"); }, "-", "リンク先が見つかりません"},
        {"link loop", [](Where f) {
             Link(f / "b", f / "a");
             return Link(f / "a", f / "b");
         }, "-", "シンボリックリンクが循環しています"},
        {"link to a file", [](Where f) { return Link(WriteFile(f / "p.c", "a\nb\nc"), f / "l"); }, "3", ""},
        {"unreadable file", [](Where f) {
             fs::permissions(WriteFile(f / "s.c", "a\n"), fs::perms::none);
             return f / "s.c";
         }, "-", "アクセスが拒否されました"},
#endif
    }), ScenarioName);

}}  // namespace rowtick

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CountingRun.h"
#include "LineCounter.h"
#include "Obstacles.h"
#include "TestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/syscall.h>
#endif

namespace rowtick {
namespace {

namespace fs = std::filesystem;
using test::ScenarioName;
using test::TempFolder;

// The rule as plainly as it can be said, to hold the fast counter against:
// decode into units, then walk them one at a time.
std::uint64_t ReferenceLines(std::string_view bytes)
{
    std::vector<unsigned> units;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool le = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    const bool be = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
    std::size_t i = le || be ? 2 : 0;
    for (; le || be ? i + 1 < bytes.size() : i < bytes.size(); i += le || be ? 2 : 1)
        units.push_back(le ? byte(i) | (byte(i + 1) << 8) : be ? (byte(i) << 8) | byte(i + 1) : byte(i));
    if (i < bytes.size())
        units.push_back(0x10000);  // a trailing odd byte: content, never a line end
    std::uint64_t lines = 0;
    for (std::size_t u = 0; u < units.size(); ++u)
        if (units[u] == '\r' || (units[u] == '\n' && (u == 0 || units[u - 1] != '\r')))
            ++lines;
    return lines + (!units.empty() && units.back() != '\r' && units.back() != '\n' ? 1 : 0);
}

std::string Utf16(std::u16string_view text, bool bigEndian, bool withMark = true)
{
    std::string bytes = !withMark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
}

std::string Repeat(std::string_view piece, std::size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

std::uint64_t CountInBlocks(std::string_view bytes, const std::vector<std::size_t>& cuts)
{
    LineCounter counter;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        counter.feed(bytes.substr(from, cut - from));
        from = cut;
    }
    counter.feed(bytes.substr(from));
    return counter.lines();
}

struct LinesCase {
    std::string scenario;
    std::string bytes;
    std::uint64_t lines;
};

// ---------------------------------------------------------------------------
// The rule itself: every combination of line ends, the UTF-16 marks in both
// byte orders, and line ends either side of the 16-, 32- and 64-byte steps of
// the vector code.

std::vector<LinesCase> LineEndTable()
{
    using namespace std::string_literals;
    const std::u16string allEnds = u"a\r\nb\n\rc\rd\n";  // CR LF, LF CR, lone CR, lone LF: 5 lines
    return {
        {"empty", "", 0},
        {"last line without a line end", "a", 1},
        {"lone LFs", "a\nb\nc", 3},
        {"CR LF pairs", "a\r\nb\r\n", 2},
        {"LF then CR are two line ends", "a\n\rb", 3},
        {"lone CRs", "a\rb\r", 2},
        {"CR CR LF", "\r\r\n", 2},
        {"leading LFs", "\n\na", 3},
        {"Ctrl-Z is an ordinary byte", "a\x1A\n\x1A", 2},
        {"NUL bytes are content", "\0\n\0"s, 2},
        {"a lone FF byte", "\xFF", 1},
        {"FE FE is no mark", "\xFE\xFE\n", 1},
        {"FF FF is no mark", "\xFF\xFF\r\n\xFF", 2},
        {"a line of 40 bytes crossing vector widths", std::string(40, 'x') + "\r\n" + std::string(40, 'y'), 2},
        {"CR and LF either side of byte 32", std::string(31, 'x') + "\r\n" + std::string(33, 'y') + "\n", 2},
        {"CR at byte 63 and LF at byte 64", std::string(63, 'x') + "\r\n" + std::string(3, 'y'), 2},
        {"UTF-16 LE mark only", "\xFF\xFE", 0},
        {"UTF-16 BE mark only", "\xFE\xFF", 0},
        {"UTF-16 LE every line end", Utf16(allEnds, false), 5},
        {"UTF-16 BE every line end", Utf16(allEnds, true), 5},
        {"UTF-16 LE unit 0D0A is no line end", Utf16(u"\u0D0A\u0A0D", false), 1},
        {"UTF-16 BE unit 0A0D is no line end", Utf16(u"\u0A0D\u0D0A", true), 1},
        {"UTF-16 LE trailing odd byte is content", Utf16(u"a\r", false) + "\n", 2},
        {"UTF-16 LE line end across 16 units", Utf16(std::u16string(15, u'x') + u"\r\n" + std::u16string(9, u'y'), false), 2},
        {"UTF-16 BE line end across 8 units", Utf16(std::u16string(8, u'x') + u"\r\n\n", true), 2},
        {"UTF-16 LE mark in the middle is content", "a\n" + Utf16(u"b", false), 2},
    };
}

class LineEndRule : public ::testing::TestWithParam<LinesCase> {};

// The same bytes give the same count however they arrive: whole, cut into up
// to three blocks at every place (empty blocks included), one byte at a time
// with the count so far asked after each, and as a file.
TEST_P(LineEndRule, CountsTheSameHoweverTheBytesArrive)
{
    const LinesCase& c = GetParam();
    const std::string_view bytes = c.bytes;
    EXPECT_EQ(CountLinesInBuffer(bytes), c.lines);
    EXPECT_EQ(ReferenceLines(bytes), c.lines);  // keeps the random comparison's reference honest
    for (std::size_t first = 0; first <= bytes.size(); ++first)
        for (std::size_t second = first; second <= bytes.size(); ++second)
            ASSERT_EQ(CountInBlocks(bytes, {first, second}), c.lines) << "cut at " << first << " and " << second;
    LineCounter counter;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        counter.feed(bytes.substr(i, 1));
        counter.feed({});
        ASSERT_EQ(counter.lines(), ReferenceLines(bytes.substr(0, i + 1))) << "after byte " << i;
    }
    TempFolder folder;
    const LineCount count = CountLines(folder.write("case.txt", bytes));
    EXPECT_EQ(count.text(), std::to_string(c.lines)) << count.reason;
    EXPECT_TRUE(count.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, LineEndRule, ::testing::ValuesIn(LineEndTable()), ScenarioName());

// ---------------------------------------------------------------------------
// Long inputs, counted whole and as files: runs of line ends that keep every
// vector lane counting at its fastest (a lane folded too late wraps around),
// line ends across every power-of-two read block the counter could use, and
// counts past 16 bits.

std::vector<LinesCase> LongInputTable()
{
    std::vector<LinesCase> rows = {
        {"100000 CRs", std::string(100000, '\r'), 100000},
        {"LF then 70000 CR LF pairs", Repeat("\n\r", 70000), 70001},
        {"UTF-16 LE 300000 CRs", Utf16(std::u16string(300000, u'\r'), false), 300000},
        {"UTF-16 BE 300000 LFs", Utf16(std::u16string(300000, u'\n'), true), 300000},
        {"32767 CR LF lines", Repeat("line\r\n", 32767), 32767},
        {"32768 LF lines", Repeat("line\n", 32768), 32768},
        {"65537 CR lines", Repeat("line\r", 65537), 65537},
    };
    // Line ends around a boundary: `split` bytes of `around` come before it.
    using namespace std::string_literals;
    const std::tuple<const char*, std::string, std::string, std::size_t> splits[] = {
        {"CR LF split", "", "\r\n", 1},        {"LF CR split", "", "\n\r", 1},
        {"file ends with CR", "", "\r", 1},     {"file ends one byte after CR", "", "\rz", 1},
        {"LF as the first byte after", "", "\n", 0}, {"UTF-16 CR LF split", "\xFF\xFE", "\r\0\n\0"s, 2}};
    for (std::size_t kib : {64, 128, 256, 512, 1024}) {
        for (const auto& [scenario, mark, around, split] : splits) {
            std::string bytes = mark + std::string(kib * 1024 - mark.size() - split, 'x') + around;
            const std::uint64_t lines = ReferenceLines(bytes);
            rows.push_back({scenario + " at "s + std::to_string(kib) + " KiB", std::move(bytes), lines});
        }
    }
    return rows;
}

class LongInput : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LongInput, IsCountedWholeAndAsAFile)
{
    const LinesCase& c = GetParam();
    EXPECT_EQ(CountLinesInBuffer(c.bytes), c.lines);
    TempFolder folder;
    const LineCount count = CountLines(folder.write("long.txt", c.bytes));
    EXPECT_EQ(count.text(), std::to_string(c.lines)) << count.reason;
}

INSTANTIATE_TEST_SUITE_P(Table, LongInput, ::testing::ValuesIn(LongInputTable()), ScenarioName());

// ---------------------------------------------------------------------------
// Random text against the reference: lengths across the vector steps, starts
// at every offset within a cache line, and random block splits.

// Mostly CR and LF, so that pairs, runs and lone ends all meet the vector
// edges; in UTF-16 (`kind` 1 LE, 2 BE) also units whose bytes are CR and LF.
std::string RandomText(std::mt19937_64& random, int kind, std::size_t length)
{
    std::string bytes;
    std::u16string units;
    for (std::size_t i = 0; i < (kind == 0 ? length : length / 2); ++i) {
        const auto r = random() % 10;
        if (kind == 0)
            bytes += r < 4 ? '\r' : r < 8 ? '\n' : r == 8 ? static_cast<char>(random()) : 'x';
        else
            units += r < 4 ? u'\r' : r < 7 ? u'\n' : r == 7 ? u'\u0D0A' : r == 8 ? u'\u0A0D' : char16_t(random());
    }
    if (kind == 0)
        return bytes;
    bytes = Utf16(units, kind == 2);
    if (length % 2)
        bytes += static_cast<char>(random());
    return bytes;
}

TEST(LineCounterRandom, AgreesWithTheReference)
{
    std::mt19937_64 random(20240607);
    constexpr std::size_t kMaxLength = 20000;
    std::string arena(kMaxLength + 64, '\0');  // room for the longest text at the largest offset
    for (int round = 0; round < 6000; ++round) {
        // Most texts are short enough to end in every kind of tail; some are
        // long enough to fold the vector lanes at least once.
        const std::size_t length = round % 50 == 0 ? random() % kMaxLength : random() % 300;
        const std::string text = RandomText(random, round % 3, length);
        const std::size_t offset = random() % 64;
        arena.replace(offset, text.size(), text);
        const std::string_view view(arena.data() + offset, text.size());

        const std::uint64_t expected = ReferenceLines(view);
        ASSERT_EQ(CountLinesInBuffer(view), expected) << "round " << round << ", offset " << offset;
        std::vector<std::size_t> cuts;
        for (std::size_t at = 1 + random() % 80; at < view.size(); at += 1 + random() % 80)
            cuts.push_back(at);
        ASSERT_EQ(CountInBlocks(view, cuts), expected) << "round " << round << " in " << cuts.size() + 1 << " blocks";
    }
}

#ifndef _WIN32

// ---------------------------------------------------------------------------
// Targets that are counted and targets that are not.

using Where = const fs::path&;  // the test's folder, where a row makes its target

fs::path Link(const fs::path& target, const fs::path& link)
{
    fs::create_symlink(target, link);
    return link;
}

fs::path File(Where f, const char* name, const char* bytes)
{
    return TempFolder::writeTo(f / name, bytes);
}

fs::path Fifo(Where f)
{
    EXPECT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
    return f / "pipe";
}

// Descriptors a row keeps open while its target is counted: a FIFO's writer.
std::vector<int> tHeldOpen;

void CloseHeldOpen()
{
    for (int fd : tHeldOpen)
        ::close(fd);
    tHeldOpen.clear();
}

struct TargetCase {
    std::string scenario;
    std::function<fs::path(Where)> make;
    std::string count;   // the row's count field: "-" when not counted
    std::string reason;  // empty when counted
    bool asOrdinaryUser = false;  // a case that root's rights would hide
};

std::vector<TargetCase> TargetTable()
{
    return {
        {"file deleted after it was dropped", [](Where f) { fs::remove(File(f, "gone.c", "")); return f / "gone.c"; },
         "-", "ファイルが見つかりません"},
        {"folder with a trailing slash",
         [](Where f) { fs::create_directory(f / "sub"); return fs::path((f / "sub").native() + "/"); }, "-",
         "フォルダです"},
        {"folder named dot", [](Where f) { return f / "."; }, "-", "フォルダです"},
        {"hidden file", [](Where f) { return File(f, ".hidden", "a\n"); }, "-", "隠しファイルです"},
        {"FIFO without a writer", Fifo, "-", "名前付きパイプ (FIFO) です"},
        {"FIFO with a writer and data waiting",
         [](Where f) {
             // Read and write at once: the open does not wait for a reader, and
             // the pipe never reaches its end while this descriptor lives.
             const int writer = ::open(Fifo(f).c_str(), O_RDWR | O_CLOEXEC);
             EXPECT_GE(writer, 0);
             tHeldOpen.push_back(writer);
             EXPECT_EQ(::write(writer, "a\nb\n", 4), 4);
             return f / "pipe";
         },
         "-", "名前付きパイプ (FIFO) です"},
        {"socket",
         [](Where f) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string name = (f / "sock").native();
             EXPECT_LT(name.size(), sizeof address.sun_path);
             name.copy(address.sun_path, sizeof address.sun_path - 1);
             EXPECT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(s);
             return f / "sock";
         },
         "-", "ソケットです"},
        {"dev null through a link", [](Where f) { return Link("/dev/null", f / "null.c"); }, "-", "デバイスです"},
        {"dev zero through a link", [](Where f) { return Link("/dev/zero", f / "zero.c"); }, "-", "デバイスです"},
        {"dangling link", [](Where f) { return Link(f / "gone.c", f / "dangling"); }, "-", "リンク先が見つかりません"},
        {"link loop", [](Where f) { Link(f / "b", f / "a"); return Link(f / "a", f / "b"); }, "-",
         "シンボリックリンクが循環しています"},
        {"path through a file", [](Where f) { return File(f, "plain.c", "a\n") / "inner.c"; }, "-",
         "パスの途中がフォルダではありません"},
        {"file without read permission",
         [](Where f) {
             fs::permissions(File(f, "secret.c", "a\n"), fs::perms::none);
             return f / "secret.c";
         },
         "-", "アクセスが拒否されました", true},
        {"link to a link to a regular file",
         [](Where f) { return Link(Link(File(f, "plain.c", "a\nb\nc"), f / "one"), f / "two"); }, "3", ""},
        {"read-only file",
         [](Where f) {
             fs::permissions(File(f, "ro.c", "a\r\nb\r\n"), fs::perms::owner_read | fs::perms::others_read);
             return f / "ro.c";
         },
         "2", ""},
        {"file inside a hidden folder",
         [](Where f) { fs::create_directory(f / ".hidden"); return File(f, ".hidden/a.c", "a\n"); }, "1", ""},
        {"Shift-JIS name holding a line break", [](Where f) { return File(f, "\x83\x65\n\x83\x58.c", "a\nb"); },
         "2", ""},
    };
}

class Target : public ::testing::TestWithParam<TargetCase> {};

// Each target is counted in a run followed by a plain file: it gets its row
// and the run goes on. The run has a thread of its own, owning what it uses,
// so that a run that blocks (on a FIFO, say) fails the test and is let go.
TEST_P(Target, GetsItsRowAndTheRunGoesOn)
{
    const TargetCase& c = GetParam();
    TempFolder folder;
    TargetList targets;
    targets.append(c.make(folder.path()));
    targets.append(folder.write("next.txt", "x\ny\n"));
    std::optional<test::OrdinaryUser> user;
    if (c.asOrdinaryUser && !user.emplace().active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user: root reads any file";

    auto results = std::make_shared<ResultList>();
    auto task = std::make_shared<std::packaged_task<void()>>([targets, results] { RunCount(targets, *results); });
    auto done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    const bool returned = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    CloseHeldOpen();
    ASSERT_TRUE(returned) << "the run did not return";

    ASSERT_EQ(results->rowCount(), 2);
    EXPECT_EQ(results->row(0).countText(), c.count);
    EXPECT_EQ(results->row(0).reason, c.reason);
    EXPECT_EQ(results->row(1).countText(), "2") << results->row(1).reason;
}

INSTANTIATE_TEST_SUITE_P(Kinds, Target, ::testing::ValuesIn(TargetTable()), ScenarioName());

#endif  // !_WIN32

#if defined(__linux__)

// ---------------------------------------------------------------------------
// Failures and changes part-way through a file. The test program's own read()
// stands in for the C library's, so that a test can make the n-th read fail or
// change the file between two reads; every other read goes to the kernel as usual.

struct ReadPlan {
    bool active = false;
    int reads = 0;               // reads so far, while active
    int failingRead = -1;        // this read (from 0) fails with EIO
    int changingRead = -1;       // `change` runs right before this read
    bool changeAfterEnd = false; // `change` runs right after the read that reaches the end
    std::function<void()> change;
};
thread_local ReadPlan tPlan;

}  // namespace
}  // namespace rowtick

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    auto& plan = rowtick::tPlan;
    if (!plan.active)
        return ::syscall(SYS_read, fd, buffer, count);
    const int index = plan.reads++;
    if (index == plan.failingRead) {
        errno = EIO;
        return -1;
    }
    if (index == plan.changingRead)
        plan.change();
    const auto got = static_cast<ssize_t>(::syscall(SYS_read, fd, buffer, count));
    struct stat info {};
    if (plan.changeAfterEnd && got > 0 && ::fstat(fd, &info) == 0 && ::lseek(fd, 0, SEEK_CUR) == info.st_size) {
        plan.changeAfterEnd = false;
        plan.change();
    }
    return got;
}

namespace rowtick {
namespace {

struct FaultCase {
    std::string scenario;
    int failingRead;
    int changingRead;
    bool changeAfterEnd;
    void (*change)(const fs::path& file);
    std::string reason;
};

std::vector<FaultCase> FaultTable()
{
    const std::string changed = "数えている間にファイルが変更されました";
    const auto grow = [](const fs::path& f) { std::ofstream(f, std::ios::app) << "more\n"; };
    return {
        {"read error part-way", 2, -1, false, nullptr, "読み込みエラー: 入出力エラーが発生しました"},
        {"file grows part-way", -1, 1, false, grow, changed},
        {"file grows right after the read that reaches its end", -1, -1, true, grow, changed},
        {"file truncated part-way", -1, 1, false, [](const fs::path& f) { fs::resize_file(f, 10); }, changed},
        {"file rewritten in place at the same size", -1, 1, false,
         [](const fs::path& f) { std::ofstream(f, std::ios::in | std::ios::out) << "\n\n\n\n"; }, changed},
    };
}

class ReadFailure : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ReadFailure, GivesNoPartialCount)
{
    const FaultCase& c = GetParam();
    TempFolder folder;
    // Several read blocks of lines, with an old modification time so that a
    // write part-way shows as a change even on a coarse clock.
    const fs::path file = folder.write("data.txt", Repeat("a line\n", 600000));
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);

    tPlan = {true, 0, c.failingRead, c.changingRead, c.changeAfterEnd, [&] { c.change(file); }};
    const LineCount count = CountLines(file);
    const int reads = tPlan.reads;
    tPlan = {};

    EXPECT_GT(reads, std::max(c.failingRead, c.changingRead));
    EXPECT_EQ(count.text(), "");
    EXPECT_EQ(count.reason, c.reason);
    // Left alone, the same file is counted.
    EXPECT_TRUE(CountLines(file).counted());
}

INSTANTIATE_TEST_SUITE_P(Faults, ReadFailure, ::testing::ValuesIn(FaultTable()), ScenarioName());

#endif  // __linux__

TEST(CountLines, AStopRequestEndsTheReadWithoutACount)
{
    TempFolder folder;
    const fs::path file = folder.write("big.txt", Repeat("a line\r\n", 100000));
    std::atomic<bool> stop{true};
    const LineCount stopped = CountLines(file, &stop);
    EXPECT_FALSE(stopped.counted());
    EXPECT_FALSE(stopped.reason.empty());
    stop = false;
    EXPECT_EQ(CountLines(file, &stop).lines, 100000u);
}

}  // namespace
}  // namespace rowtick

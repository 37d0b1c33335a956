#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
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
    if (le || be) {
        std::size_t i = 2;
        for (; i + 1 < bytes.size(); i += 2)
            units.push_back(le ? byte(i) | (byte(i + 1) << 8) : (byte(i) << 8) | byte(i + 1));
        if (i < bytes.size())
            units.push_back(0x10000);  // a trailing odd byte: content, never a line end
    } else {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            units.push_back(byte(i));
    }
    std::uint64_t lines = 0;
    bool inLine = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const unsigned u = units[i];
        if (u == '\r' || u == '\n') {
            if (!(u == '\n' && i > 0 && units[i - 1] == '\r'))
                ++lines;
            inLine = false;
        } else {
            inLine = true;
        }
    }
    return lines + (inLine ? 1 : 0);
}

std::string Utf16(std::u16string_view text, bool bigEndian, bool withMark = true)
{
    std::string bytes;
    if (withMark)
        bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
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

// ---------------------------------------------------------------------------
// The rule itself, one row per scenario.

struct LineEndCase {
    std::string scenario;
    std::string bytes;
    std::uint64_t lines;
};

std::ostream& operator<<(std::ostream& out, const LineEndCase& c) { return out << c.scenario; }

std::vector<LineEndCase> LineEndTable()
{
    using namespace std::string_literals;
    return {
        {"empty", "", 0},
        {"one character without a line end", "a", 1},
        {"lone LFs end lines", "a\nb\nc", 3},
        {"CR LF is one line end", "a\r\nb", 2},
        {"LF then CR are two line ends", "a\n\rb", 3},
        {"lone CRs end lines", "a\rb\r", 2},
        {"CR LF twice gives an empty second line", "a\r\n\r\n", 2},
        {"CR LF after every line", "a\r\nb\r\n", 2},
        {"LF after every line", "a\nb\n", 2},
        {"only LF", "\n", 1},
        {"only CR", "\r", 1},
        {"only CR LF", "\r\n", 1},
        {"two CRs", "\r\r", 2},
        {"two LFs", "\n\n", 2},
        {"CR CR LF", "\r\r\n", 2},
        {"blank lines between text", "a\n\n\nb", 4},
        {"Ctrl-Z is an ordinary byte", "a\x1A\nb\x1A", 2},
        {"Ctrl-Z alone", "\x1A", 1},
        {"NUL bytes are content", "\0\n\0"s, 2},
        {"a lone FF byte", "\xFF", 1},
        {"a lone FE byte", "\xFE", 1},
        {"FE FE is no mark", "\xFE\xFE\n", 1},
        {"FF FF is no mark", "\xFF\xFF\r\n\xFF", 2},
        {"FF then LF", "\xFF\n", 1},
        {"UTF-8 mark is counted as bytes", "\xEF\xBB\xBF" "a\nb", 2},
        {"a line of 40 bytes crossing vector widths", std::string(40, 'x') + "\r\n" + std::string(40, 'y'), 2},
        {"CR and LF either side of byte 32", std::string(31, 'x') + "\r\n" + std::string(33, 'y') + "\n", 2},
        {"CR at byte 63 and LF at byte 64", std::string(63, 'x') + "\r\n" + std::string(3, 'y'), 2},
        {"UTF-16 LE mark only", "\xFF\xFE", 0},
        {"UTF-16 BE mark only", "\xFE\xFF", 0},
        {"UTF-16 LE lone LFs", Utf16(u"a\nb\nc", false), 3},
        {"UTF-16 BE lone LFs", Utf16(u"a\nb\nc", true), 3},
        {"UTF-16 LE CR LF", Utf16(u"a\r\nb\r\n", false), 2},
        {"UTF-16 BE CR LF", Utf16(u"a\r\nb\r\n", true), 2},
        {"UTF-16 LE LF then CR", Utf16(u"a\n\rb", false), 3},
        {"UTF-16 BE lone CRs", Utf16(u"a\rb\r", true), 2},
        {"UTF-16 LE Japanese text", Utf16(u"行一\r\n行二\r\n行三", false), 3},
        {"UTF-16 LE unit 0D0A is no line end", Utf16(u"\u0D0A\u0A0D", false), 1},
        {"UTF-16 BE unit 0A0D is no line end", Utf16(u"\u0A0D\u0D0A", true), 1},
        {"UTF-16 LE CR byte inside a unit", Utf16(u"\u010D\u0A01", false), 1},
        {"UTF-16 LE trailing odd byte is content", Utf16(u"a\r", false) + "\n", 2},
        {"UTF-16 BE mark and one odd byte", "\xFE\xFF\x00"s, 1},
        {"UTF-16 LE line end across 16 units", Utf16(std::u16string(15, u'x') + u"\r\n" + std::u16string(9, u'y'), false), 2},
        {"UTF-16 BE line end across 8 units", Utf16(std::u16string(8, u'x') + u"\r\n\n", true), 2},
        {"UTF-16 LE mark in the middle is content", "a\n" + Utf16(u"b", false, true), 2},
    };
}

class LineEndRule : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEndRule, WholeBuffer)
{
    const LineEndCase& c = GetParam();
    EXPECT_EQ(CountLinesInBuffer(c.bytes), c.lines);
    // Keeps the reference used by the random comparison honest.
    EXPECT_EQ(ReferenceLines(c.bytes), c.lines);
}

TEST_P(LineEndRule, EveryTwoBlockSplit)
{
    const LineEndCase& c = GetParam();
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut)
        EXPECT_EQ(CountInBlocks(c.bytes, {cut}), c.lines) << "split at " << cut;
}

TEST_P(LineEndRule, EveryThreeBlockSplit)
{
    const LineEndCase& c = GetParam();
    for (std::size_t first = 0; first <= c.bytes.size(); ++first)
        for (std::size_t second = first; second <= c.bytes.size(); ++second)
            EXPECT_EQ(CountInBlocks(c.bytes, {first, second}), c.lines) << "splits at " << first << ", " << second;
}

TEST_P(LineEndRule, OneByteBlocksWithEmptyBlocksBetween)
{
    const LineEndCase& c = GetParam();
    LineCounter counter;
    for (char b : c.bytes) {
        counter.feed(std::string_view(&b, 1));
        counter.feed({});
    }
    EXPECT_EQ(counter.lines(), c.lines);
}

TEST_P(LineEndRule, LinesSoFarAfterEveryByte)
{
    // lines() is asked part-way (as for a file that ends there) without
    // disturbing the count of the rest.
    const LineEndCase& c = GetParam();
    LineCounter counter;
    for (std::size_t i = 0; i < c.bytes.size(); ++i) {
        counter.feed(std::string_view(c.bytes).substr(i, 1));
        EXPECT_EQ(counter.lines(), ReferenceLines(std::string_view(c.bytes).substr(0, i + 1))) << "after byte " << i;
    }
    EXPECT_EQ(counter.lines(), c.lines);
}

TEST_P(LineEndRule, AsAFile)
{
    const LineEndCase& c = GetParam();
    TempFolder folder;
    const LineCount count = CountLines(folder.write("case.txt", c.bytes));
    ASSERT_TRUE(count.counted()) << count.reason;
    EXPECT_EQ(*count.lines, c.lines);
    EXPECT_EQ(count.text(), std::to_string(c.lines));
    EXPECT_TRUE(count.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, LineEndRule, ::testing::ValuesIn(LineEndTable()), ScenarioName());

// ---------------------------------------------------------------------------
// Long runs of line ends: every vector lane counts at its fastest rate, so a
// lane that is folded too late wraps around.

struct RunCase {
    std::string scenario;
    std::string bytes;
    std::uint64_t lines;
};

std::ostream& operator<<(std::ostream& out, const RunCase& c) { return out << c.scenario; }

std::string Repeat(std::string_view piece, std::size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

std::vector<RunCase> DenseRunTable()
{
    return {
        {"100000 CRs", std::string(100000, '\r'), 100000},
        {"100000 LFs", std::string(100000, '\n'), 100000},
        {"70000 CR LF pairs", Repeat("\r\n", 70000), 70000},
        {"LF then 70000 CR LF pairs", Repeat("\n\r", 70000), 70001},
        {"one LF after 1 MiB of text", std::string(1 << 20, 'x') + "\n", 1},
        {"UTF-16 LE 300000 CRs", Utf16(std::u16string(300000, u'\r'), false), 300000},
        {"UTF-16 BE 300000 LFs", Utf16(std::u16string(300000, u'\n'), true), 300000},
        {"UTF-16 LE 200000 CR LF pairs", "\xFF\xFE" + Repeat(Utf16(u"\r\n", false, false), 200000), 200000},
    };
}

class DenseRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(DenseRun, WholeAndInOddBlocks)
{
    const RunCase& c = GetParam();
    EXPECT_EQ(CountLinesInBuffer(c.bytes), c.lines);
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 4097; cut < c.bytes.size(); cut += 65537)
        cuts.push_back(cut);
    EXPECT_EQ(CountInBlocks(c.bytes, cuts), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Runs, DenseRun, ::testing::ValuesIn(DenseRunTable()), ScenarioName());

// ---------------------------------------------------------------------------
// Random text against the reference: lengths across the 16-, 32- and 64-byte
// steps of the vector code, starts at every offset within a cache line, and
// random block splits.

enum class RandomKind { Bytes, Utf16LE, Utf16BE };

std::string RandomText(std::mt19937_64& random, RandomKind kind, std::size_t length)
{
    // Mostly CR and LF, so that pairs, runs and lone ends all meet the vector edges.
    std::uniform_int_distribution<int> pick(0, 9);
    std::string bytes;
    if (kind == RandomKind::Bytes) {
        for (std::size_t i = 0; i < length; ++i) {
            const int r = pick(random);
            bytes += r < 4 ? '\r' : r < 8 ? '\n' : r == 8 ? static_cast<char>(random()) : 'x';
        }
        return bytes;
    }
    std::u16string units;
    for (std::size_t i = 0; i < length / 2; ++i) {
        const int r = pick(random);
        units += r < 4 ? u'\r' : r < 7 ? u'\n' : r == 7 ? u'\u0D0A' : r == 8 ? u'\u0A0D' : static_cast<char16_t>(random());
    }
    bytes = Utf16(units, kind == RandomKind::Utf16BE);
    if (length % 2)
        bytes += static_cast<char>(random());
    return bytes;
}

TEST(LineCounterRandom, AgreesWithTheReference)
{
    std::mt19937_64 random(20240607);
    // Room for the longest text at the largest start offset.
    constexpr std::size_t kMaxLength = 20000;
    std::string arena(kMaxLength + 64, '\0');
    for (int round = 0; round < 6000; ++round) {
        const auto kind = static_cast<RandomKind>(round % 3);
        // Most texts are short enough to end in every kind of tail; some are
        // long enough to fold the vector lanes at least once.
        const std::size_t length = round % 50 == 0 ? random() % kMaxLength : random() % 300;
        const std::string text = RandomText(random, kind, length);
        const std::size_t offset = random() % 64;
        arena.replace(offset, text.size(), text);
        const std::string_view view(arena.data() + offset, text.size());

        const std::uint64_t expected = ReferenceLines(view);
        ASSERT_EQ(CountLinesInBuffer(view), expected) << "round " << round << ", offset " << offset;

        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < view.size();) {
            at += 1 + random() % 80;
            if (at < view.size())
                cuts.push_back(at);
        }
        ASSERT_EQ(CountInBlocks(view, cuts), expected) << "round " << round << " in " << cuts.size() + 1 << " blocks";
    }
}

// ---------------------------------------------------------------------------
// Files: a line end across the counter's own read blocks. The block size is
// the counter's business, so line ends sit at every power-of-two boundary it
// could use.

struct BoundaryCase {
    std::string scenario;
    std::size_t boundary;  // bytes before the split point
    std::string around;    // placed so that `split` bytes of it come before the boundary
    std::size_t split;
    bool utf16;
};

std::ostream& operator<<(std::ostream& out, const BoundaryCase& c) { return out << c.scenario; }

std::vector<BoundaryCase> BoundaryTable()
{
    std::vector<BoundaryCase> rows;
    for (std::size_t kib : {64, 128, 256, 512, 1024}) {
        const std::string at = " at " + std::to_string(kib) + " KiB";
        const std::size_t b = kib * 1024;
        rows.push_back({"CR LF split" + at, b, "\r\n", 1, false});
        rows.push_back({"CR before and text after" + at, b, "\ry", 1, false});
        rows.push_back({"LF CR split" + at, b, "\n\r", 1, false});
        rows.push_back({"file ends with CR" + at, b, "\r", 1, false});
        rows.push_back({"file ends one byte after" + at, b, "\rz", 1, false});
        rows.push_back({"LF as the first byte after" + at, b, "\n", 0, false});
        rows.push_back({"UTF-16 CR LF split" + at, b, Utf16(u"\r\n", false, false), 2, true});
    }
    return rows;
}

class ReadBlockBoundary : public ::testing::TestWithParam<BoundaryCase> {};

TEST_P(ReadBlockBoundary, CountsLikeTheWholeBuffer)
{
    const BoundaryCase& c = GetParam();
    std::string bytes;
    if (c.utf16) {
        bytes = Utf16(std::u16string((c.boundary - 2 - c.split) / 2, u'x'), false);
    } else {
        bytes.assign(c.boundary - c.split, 'x');
    }
    bytes += c.around;
    ASSERT_EQ(bytes.size() - c.around.size() + c.split, c.boundary);
    TempFolder folder;
    const LineCount count = CountLines(folder.write("big.txt", bytes));
    ASSERT_TRUE(count.counted()) << count.reason;
    EXPECT_EQ(*count.lines, ReferenceLines(bytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadBlockBoundary, ::testing::ValuesIn(BoundaryTable()), ScenarioName());

struct LineCountCase {
    std::string scenario;
    std::uint64_t lines;
    std::string lineEnd;
};

std::ostream& operator<<(std::ostream& out, const LineCountCase& c) { return out << c.scenario; }

class ManyLines : public ::testing::TestWithParam<LineCountCase> {};

TEST_P(ManyLines, CountsPastSixteenBits)
{
    const LineCountCase& c = GetParam();
    TempFolder folder;
    const LineCount count = CountLines(folder.write("many.txt", Repeat("line" + c.lineEnd, c.lines)));
    ASSERT_TRUE(count.counted()) << count.reason;
    EXPECT_EQ(*count.lines, c.lines);
    EXPECT_EQ(count.text(), std::to_string(c.lines));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ManyLines,
                         ::testing::Values(LineCountCase{"32767 CR LF lines", 32767, "\r\n"},
                                           LineCountCase{"32768 CR LF lines", 32768, "\r\n"},
                                           LineCountCase{"32768 LF lines", 32768, "\n"},
                                           LineCountCase{"65537 CR lines", 65537, "\r"}),
                         ScenarioName());

#ifndef _WIN32

// ---------------------------------------------------------------------------
// Targets that are counted and targets that are not.

// Runs CountLines on another thread so that a counter that blocks (on a FIFO,
// say) fails the test instead of hanging it. The thread is let go on timeout.
std::optional<LineCount> CountWithin(const fs::path& path, std::chrono::seconds limit)
{
    auto task = std::make_shared<std::packaged_task<LineCount()>>([path] { return CountLines(path); });
    auto answer = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (answer.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return answer.get();
}

struct TargetCase {
    std::string scenario;
    std::function<fs::path(const fs::path& folder)> make;
    std::string reason;
};

std::ostream& operator<<(std::ostream& out, const TargetCase& c) { return out << c.scenario; }

void Link(const fs::path& target, const fs::path& link) { fs::create_symlink(target, link); }

// Descriptors a row keeps open while its target is counted: a FIFO's writer.
std::vector<int> tHeldOpen;

void CloseHeldOpen()
{
    for (int fd : tHeldOpen)
        ::close(fd);
    tHeldOpen.clear();
}

std::vector<TargetCase> UncountableTable()
{
    return {
        {"missing file", [](const fs::path& f) { return f / "missing.c"; }, "ファイルが見つかりません"},
        {"missing folder on the way", [](const fs::path& f) { return f / "nowhere" / "a.c"; }, "ファイルが見つかりません"},
        {"folder",
         [](const fs::path& f) {
             fs::create_directory(f / "sub");
             return f / "sub";
         },
         "フォルダです"},
        {"folder with a trailing slash",
         [](const fs::path& f) {
             fs::create_directory(f / "sub");
             return fs::path((f / "sub").native() + "/");
         },
         "フォルダです"},
        {"folder named dot", [](const fs::path& f) { return f / "."; }, "フォルダです"},
        {"hidden file", [](const fs::path& f) { return TempFolder::writeTo(f / ".hidden", "a\n"); }, "隠しファイルです"},
        {"hidden link to a regular file",
         [](const fs::path& f) {
             Link(TempFolder::writeTo(f / "plain.c", "a\n"), f / ".link");
             return f / ".link";
         },
         "隠しファイルです"},
        {"FIFO without a writer",
         [](const fs::path& f) {
             EXPECT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
             return f / "pipe";
         },
         "名前付きパイプ (FIFO) です"},
        {"FIFO with a writer and data waiting",
         [](const fs::path& f) {
             EXPECT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
             // Read and write at once: the open does not wait for a reader, and
             // the pipe never reaches its end while this descriptor lives.
             const int writer = ::open((f / "pipe").c_str(), O_RDWR | O_CLOEXEC);
             EXPECT_GE(writer, 0);
             tHeldOpen.push_back(writer);
             EXPECT_EQ(::write(writer, "a\nb\n", 4), 4);
             return f / "pipe";
         },
         "名前付きパイプ (FIFO) です"},
        {"link to a FIFO",
         [](const fs::path& f) {
             EXPECT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
             Link(f / "pipe", f / "to-pipe");
             return f / "to-pipe";
         },
         "名前付きパイプ (FIFO) です"},
        {"socket",
         [](const fs::path& f) {
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
         "ソケットです"},
        {"dev null through a link",
         [](const fs::path& f) {
             Link("/dev/null", f / "null");
             return f / "null";
         },
         "デバイスです"},
        {"dev zero through a link",
         [](const fs::path& f) {
             Link("/dev/zero", f / "zero.c");
             return f / "zero.c";
         },
         "デバイスです"},
        {"dev random through a link",
         [](const fs::path& f) {
             Link("/dev/random", f / "random.c");
             return f / "random.c";
         },
         "デバイスです"},
        {"dangling link",
         [](const fs::path& f) {
             Link(f / "gone.c", f / "dangling");
             return f / "dangling";
         },
         "リンク先が見つかりません"},
        {"link loop",
         [](const fs::path& f) {
             Link(f / "b", f / "a");
             Link(f / "a", f / "b");
             return f / "a";
         },
         "シンボリックリンクが循環しています"},
        {"path through a file",
         [](const fs::path& f) { return TempFolder::writeTo(f / "plain.c", "a\n") / "inner.c"; },
         "パスの途中がフォルダではありません"},
    };
}

class UncountableTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(UncountableTarget, GivesNoCountAndItsReason)
{
    const TargetCase& c = GetParam();
    TempFolder folder;
    const fs::path target = c.make(folder.path());
    const std::optional<LineCount> count = CountWithin(target, std::chrono::seconds(10));
    CloseHeldOpen();
    ASSERT_TRUE(count.has_value()) << "CountLines did not return";
    EXPECT_FALSE(count->counted()) << *count->lines;
    EXPECT_EQ(count->text(), "");
    EXPECT_EQ(count->reason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UncountableTarget, ::testing::ValuesIn(UncountableTable()), ScenarioName());

// One run over every kind above, each followed by a plain file, and a file
// deleted after it was dropped: every uncountable target gets its "-" row and
// the run goes on to the file after it.
TEST(UncountableTargets, RunGoesOnToTheNextTarget)
{
    TempFolder folder;
    TargetList targets;
    std::vector<std::string> reasons;  // empty: the plain file, 2 lines
    const auto addPlain = [&](const fs::path& where) {
        targets.append(TempFolder::writeTo(where / "plain.txt", "x\ny\n"));
        reasons.emplace_back();
    };
    int n = 0;
    for (const TargetCase& c : UncountableTable()) {
        const fs::path own = folder.path() / std::to_string(n++);
        fs::create_directory(own);
        targets.append(c.make(own));
        reasons.push_back(c.reason);
        addPlain(own);
    }
    const fs::path deleted = folder.write("deleted.c", "a\n");
    targets.append(deleted);
    reasons.emplace_back("ファイルが見つかりません");
    addPlain(folder.path());
    fs::remove(deleted);

    // On its own thread, which owns what it uses: a run that blocks fails the
    // test and is let go.
    auto results = std::make_shared<ResultList>();
    auto task = std::make_shared<std::packaged_task<void()>>([targets, results] { RunCount(targets, *results); });
    auto done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    const bool returned = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    CloseHeldOpen();
    ASSERT_TRUE(returned) << "the run did not return";

    ASSERT_EQ(results->rowCount(), static_cast<std::int64_t>(reasons.size()));
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        const ResultRow& row = results->row(static_cast<std::int64_t>(i));
        EXPECT_EQ(row.path, targets.target(static_cast<std::int64_t>(i) + 1)) << i;
        EXPECT_EQ(row.countText(), reasons[i].empty() ? "2" : "-") << row.path;
        EXPECT_EQ(row.reason, reasons[i]) << row.path;
    }
}

std::vector<TargetCase> CountableTable()
{
    // The reason field holds the expected count here.
    return {
        {"link to a regular file",
         [](const fs::path& f) {
             Link(TempFolder::writeTo(f / "plain.c", "a\nb\n"), f / "link.c");
             return f / "link.c";
         },
         "2"},
        {"link to a link to a regular file",
         [](const fs::path& f) {
             Link(TempFolder::writeTo(f / "plain.c", "a\nb\nc"), f / "one");
             Link(f / "one", f / "two");
             return f / "two";
         },
         "3"},
        {"read-only file",
         [](const fs::path& f) {
             const fs::path file = TempFolder::writeTo(f / "ro.c", "a\r\nb\r\n");
             fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return file;
         },
         "2"},
        {"file inside a hidden folder",
         [](const fs::path& f) {
             fs::create_directory(f / ".hidden");
             return TempFolder::writeTo(f / ".hidden" / "a.c", "a\n");
         },
         "1"},
        {"name with a dot inside", [](const fs::path& f) { return TempFolder::writeTo(f / "a.b.c", "x\ry"); }, "2"},
        {"name of Shift-JIS bytes",
         [](const fs::path& f) { return TempFolder::writeTo(f / "\x83\x65\x83\x58\x83\x67.c", "a\nb"); }, "2"},
        {"name holding a line break", [](const fs::path& f) { return TempFolder::writeTo(f / "two\nlines.c", "a"); }, "1"},
        {"empty file", [](const fs::path& f) { return TempFolder::writeTo(f / "empty.c", ""); }, "0"},
    };
}

class CountableTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(CountableTarget, IsCounted)
{
    const TargetCase& c = GetParam();
    TempFolder folder;
    const LineCount count = CountLines(c.make(folder.path()));
    EXPECT_TRUE(count.counted()) << count.reason;
    EXPECT_EQ(count.text(), c.reason);
    EXPECT_TRUE(count.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CountableTarget, ::testing::ValuesIn(CountableTable()), ScenarioName());

TEST(UnreadableTarget, NoReadPermissionIsNotCounted)
{
    TempFolder folder;
    const fs::path file = folder.write("secret.c", "a\n");
    fs::permissions(file, fs::perms::none);
    const test::OrdinaryUser user;
    if (!user.active())
        GTEST_SKIP() << "running as root and cannot act as an ordinary user: root reads any file";
    const LineCount count = CountLines(file);
    EXPECT_FALSE(count.counted());
    EXPECT_EQ(count.reason, "アクセスが拒否されました");
}

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

void Append(const fs::path& file, std::string_view bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

void Overwrite(const fs::path& file, std::string_view bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

struct FaultCase {
    std::string scenario;
    ReadPlan plan;  // `change` gets the file's path through `changeFile`
    std::function<void(const fs::path&)> changeFile;
    std::string reason;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.scenario; }

ReadPlan Plan(int failingRead, int changingRead, bool changeAfterEnd = false)
{
    ReadPlan plan;
    plan.failingRead = failingRead;
    plan.changingRead = changingRead;
    plan.changeAfterEnd = changeAfterEnd;
    return plan;
}

std::vector<FaultCase> FaultTable()
{
    const std::string changed = "数えている間にファイルが変更されました";
    const std::string readError = "読み込みエラー: 入出力エラーが発生しました";
    const auto grow = [](const fs::path& f) { Append(f, "more\n"); };
    return {
        {"read error on the first read", Plan(0, -1), nullptr, readError},
        {"read error part-way", Plan(2, -1), nullptr, readError},
        {"file grows part-way", Plan(-1, 1), grow, changed},
        {"file grows right after the read that reaches its end", Plan(-1, -1, true), grow, changed},
        {"file truncated part-way", Plan(-1, 1), [](const fs::path& f) { fs::resize_file(f, 10); }, changed},
        {"file rewritten in place at the same size", Plan(-1, 1), [](const fs::path& f) { Overwrite(f, "\n\n\n\n"); },
         changed},
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

    tPlan = c.plan;
    tPlan.change = [&] { c.changeFile(file); };
    tPlan.active = true;
    const LineCount count = CountLines(file);
    const int reads = tPlan.reads;
    tPlan = {};

    EXPECT_GT(reads, c.plan.failingRead);
    EXPECT_GT(reads, c.plan.changingRead);
    EXPECT_FALSE(count.counted()) << *count.lines;
    EXPECT_EQ(count.text(), "");
    EXPECT_EQ(count.reason, c.reason);
    // Left alone, the same file is counted.
    const LineCount again = CountLines(file);
    EXPECT_TRUE(again.counted()) << again.reason;
}

INSTANTIATE_TEST_SUITE_P(Faults, ReadFailure, ::testing::ValuesIn(FaultTable()), ScenarioName());

#endif  // __linux__

}  // namespace
}  // namespace rowtick

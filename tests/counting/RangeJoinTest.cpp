#include "TestSupport.h"
#include "counting/PieceCount.h"
#include "counting/PositionedRead.h"
#ifndef _WIN32
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace rowtick { namespace {
using namespace test;

// A line end across each seam between the blocks a small file is read in, or between the pieces a big one is read in
// on every core.
struct SeamCase { std::string scenario, mark, seam, tail; std::uint64_t every = reading::kPieceSize, size = reading::kPiecesFrom; };
class Seam : public ::testing::TestWithParam<SeamCase> {};

TEST_P(Seam, CountsAsOneBufferDoes)
{
    const auto& [scenario, mark, seam, tail, every, size] = GetParam();
    std::string bytes = mark;
    while (bytes.size() < size) {
        const std::size_t next = (bytes.size() / every + 1) * every;
        bytes.append(next - bytes.size() - seam.size() / 2, mark.empty() ? 'x' : '\0');
        bytes += seam;
    }
    bytes += tail;
    TempFolder folder;
    const LineCount count = CountLines(folder.write("big.txt", bytes));
    EXPECT_EQ(count.reason, "");
    EXPECT_EQ(count.lines, CountLinesInBuffer(bytes));
}

constexpr std::uint64_t kBlock = reading::kBlockSize;
INSTANTIATE_TEST_SUITE_P(Seams, Seam, ::testing::Values(
    SeamCase{"CR LF across blocks", "", "\r\n", "last", kBlock, 3 * kBlock},
    SeamCase{"LF CR across blocks", "", "\n\r", "", kBlock, 3 * kBlock},
    SeamCase{"CR then text across blocks", "", "\rx", "\r", kBlock, 3 * kBlock},
    SeamCase{"UTF16 CR LF across blocks", "\xFF\xFE", "\r\0\n\0"s, "\0"s, kBlock, 3 * kBlock},
    SeamCase{"CR LF across pieces", "", "\r\n", "last"},
    SeamCase{"LF CR across pieces", "", "\n\r", ""},
    SeamCase{"CR then text across pieces", "", "\rx", "\r"},
    SeamCase{"UTF16 LE CR LF across pieces", "\xFF\xFE", "\r\0\n\0"s, "\0"s},
    SeamCase{"UTF16 BE CR LF across pieces", "\xFE\xFF", "\0\r\0\n"s, "x"}), ScenarioName);

#ifndef _WIN32
// Between the look at the file and its opening, something else is put in its place (through the POSIX
// reader's seam): whatever was opened gives no count, and a FIFO or device is never waited on.
std::function<void()> tSwap;

void SwapNow()
{
    tSwap();
}

struct SwapCase { std::string scenario; std::size_t size; std::function<void(const fs::path&)> put; std::string reason; };
class SwappedAfterTheLook : public ::testing::TestWithParam<SwapCase> {};

TEST_P(SwappedAfterTheLook, GivesNoCount)
{
    const SwapCase& c = GetParam();
    TempFolder folder;
    const fs::path file = folder.write("a.c", std::string(c.size, '\n'));
    tSwap = [&] {
        fs::remove(file);
        c.put(file);
    };
    reading::SetBetweenLookAndOpen(SwapNow);
    const LineCount count = CountLines(file);
    reading::SetBetweenLookAndOpen(nullptr);
    EXPECT_EQ(count.text() + count.reason, c.reason);
}

void PutDevice(const fs::path& file)
{
    fs::create_symlink("/dev/zero", file);
}

// A link to a one-line file renamed over the target.
void PutLinkToOneLine(const fs::path& file)
{
    const fs::path one = file.parent_path() / "one.c";
    const fs::path link = file.parent_path() / "link.c";
    std::ofstream(one) << "one\n";
    fs::create_symlink(one, link);
    fs::rename(link, file);
}

INSTANTIATE_TEST_SUITE_P(Swaps, SwappedAfterTheLook, ::testing::Values(
    SwapCase{"small, for a FIFO", 10, [](const fs::path& f) { ::mkfifo(f.c_str(), 0600); }, "名前付きパイプ (FIFO) です"},
    SwapCase{"small, for a device", 10, PutDevice, "デバイスです"},
    SwapCase{"small, for another file", 10, [](const fs::path& f) { std::ofstream(f) << "other\n"; }, "数えている間にファイルが変更されました"},
    SwapCase{"big, for a device", 3 * reading::kBlockSize, PutDevice, "デバイスです"},
    SwapCase{"big, for a link to a one-line file", 3 * reading::kBlockSize, PutLinkToOneLine, "数えている間にファイルが変更されました"},
    SwapCase{"in pieces, for a link to a one-line file", reading::kPiecesFrom, PutLinkToOneLine, "数えている間にファイルが変更されました"}), ScenarioName);

// One read at one offset goes wrong once: an error, one byte where more were asked, or the file grows just before
// it. An error or a change gives no count and its reason; a short read is legal and gives the right count. Or the
// file's size understates its content (a network or FUSE file): the reads go to a longer file than the one the
// size was taken from, and the count is that of everything the reads give. Or it overstates it: every read from
// the offset on gives nothing, the size unchanged, and there is no count.
constexpr long kGrows = 1L << 40;
constexpr long kEndsThere = 1L << 41;
std::atomic<std::uint64_t> tFaultAt = ~std::uint64_t{0};
long tFault = 0;  // a negated error code, the bytes the short read gives, kGrows, kEndsThere, or 0: none
std::atomic<std::uint64_t> tEnd = ~std::uint64_t{0};  // with kEndsThere, where the reads end
fs::path tFile;
int tLonger = -1;  // the longer file's descriptor

long FaultOnceRead(int fd, void* buffer, std::size_t size, std::uint64_t offset)
{
    if (offset >= tEnd) {
        tFaultAt = ~std::uint64_t{0};
        return 0;
    }
    std::uint64_t at = offset;
    if (!tFaultAt.compare_exchange_strong(at, ~std::uint64_t{0}) || tFault == 0)
        return ::pread(tLonger >= 0 ? tLonger : fd, buffer, size, static_cast<off_t>(offset));
    if (tFault == kGrows) {
        std::ofstream(tFile, std::ios::app) << "more\n";
        return ::pread(fd, buffer, size, static_cast<off_t>(offset));
    }
    if (tFault < 0) {
        errno = static_cast<int>(-tFault);
        return -1;
    }
    return ::pread(fd, buffer, static_cast<std::size_t>(tFault), static_cast<off_t>(offset));
}

struct ReadFaultCase { std::string scenario, mark; std::size_t size; std::uint64_t at; long fault; std::string reason; std::size_t more = 0; };
class ReadFault : public ::testing::TestWithParam<ReadFaultCase> {};

TEST_P(ReadFault, GivesTheCountOrTheReason)
{
    const auto& [scenario, mark, size, at, fault, reason, more] = GetParam();
    std::string bytes = mark;
    while (bytes.size() < size)
        bytes += mark.empty() ? "a\n"s : "a\0\n\0"s;
    bytes.resize(size);
    TempFolder folder;
    const fs::path file = tFile = folder.write("data.txt", bytes);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};  // a change shows even on a coarse clock
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    const std::string read = bytes + std::string(more, '\n') + (more > 0 ? "tail" : "");  // what the reads give
    if (more > 0)
        tLonger = ::open(folder.write("longer.txt", read).c_str(), O_RDONLY | O_CLOEXEC);
    tFault = fault;
    tFaultAt = at;
    if (fault == kEndsThere)
        tEnd = at;
    reading::SetPositionedRead(FaultOnceRead);
    const LineCount count = CountLines(file);
    reading::SetPositionedRead(nullptr);
    tEnd = ~std::uint64_t{0};
    ::close(std::exchange(tLonger, -1));
    EXPECT_EQ(tFaultAt.exchange(~std::uint64_t{0}), ~std::uint64_t{0});  // the fault happened
    EXPECT_EQ(count.reason, reason);
    EXPECT_EQ(count.lines, reason.empty() ? std::optional(CountLinesInBuffer(read)) : std::nullopt);
}

constexpr std::size_t kBig = reading::kPiecesFrom + 4096;
constexpr std::size_t kSmall = 1000000;
const std::string kIoError = "読み込みエラー: 入出力エラーが発生しました";
const std::string kChangedText = "数えている間にファイルが変更されました";
const std::string kEndedEarly = "読み込みエラー: ファイルの大きさに届く前に読み込みが終わりました";
INSTANTIATE_TEST_SUITE_P(Faults, ReadFault, ::testing::Values(
    ReadFaultCase{"UTF16 big, error at the start", "\xFF\xFE", kBig, 0, -EIO, kIoError},
    ReadFaultCase{"UTF16 big, one byte at the start", "\xFF\xFE", kBig, 0, 1, ""},
    ReadFaultCase{"UTF16 big, one byte at a piece seam", "\xFF\xFE", kBig, reading::kPieceSize, 1, ""},
    ReadFaultCase{"bytes big, grown at a piece", "", kBig, 2 * reading::kPieceSize, kGrows, kChangedText},
    ReadFaultCase{"bytes small, grown at a block", "", kSmall, 3 * reading::kBlockSize, kGrows, kChangedText},
    ReadFaultCase{"UTF16 big, error at a piece seam", "\xFF\xFE", kBig, 2 * reading::kPieceSize, -EIO, kIoError},
    ReadFaultCase{"bytes big, one byte at the start", "", kBig, 0, 1, ""},
    ReadFaultCase{"UTF16 small, one byte at the start", "\xFF\xFE", kSmall, 0, 1, ""},
    ReadFaultCase{"bytes small, one byte in the middle", "", kSmall, reading::kBlockSize, 1, ""},
    ReadFaultCase{"bytes small, error in the middle", "", kSmall, 2 * reading::kBlockSize, -EIO, kIoError},
    ReadFaultCase{"bytes in one block, one byte at the start", "", 1000, 0, 1, ""},
    ReadFaultCase{"bytes in one block, error at the start", "", 1000, 0, -EIO, kIoError},
    ReadFaultCase{"bytes in one block, reads end at the start", "", 1000, 0, kEndsThere, kEndedEarly},
    ReadFaultCase{"bytes small, reads end in the middle", "", kSmall, reading::kBlockSize, kEndsThere, kEndedEarly},
    ReadFaultCase{"bytes big, reads end in a piece", "", kBig, 2 * reading::kPieceSize, kEndsThere, kEndedEarly},
    ReadFaultCase{"UTF16 big of odd size, reads end before the last byte", "\xFF\xFE", kBig + 1, kBig, kEndsThere, kEndedEarly},
    ReadFaultCase{"small, longer than its size", "", kSmall, 0, 0, "", kSmall / 5},
    ReadFaultCase{"big, longer than its size", "", kBig, 0, 0, "", reading::kPiecesFrom / 5},
    ReadFaultCase{"big, a piece longer than its size", "", 5 * reading::kPieceSize, 0, 0, "", reading::kPieceSize + 3}), ScenarioName);

// Sparse files on tmpfs, where any user can make one of 1 EiB: a hole holds zero bytes, which are part of
// a line and end none. Each row writes its bytes at their offsets into a file of the given size.
struct SparseCase { std::string scenario; std::uint64_t size; std::vector<std::pair<std::uint64_t, std::string>> data; std::uint64_t lines; };
class SparseFile : public ::testing::TestWithParam<SparseCase> {};

TEST_P(SparseFile, HolesCountAsZeroBytes)
{
    const auto& [scenario, size, data, lines] = GetParam();
    struct statfs where {};
    if (::statfs("/dev/shm", &where) != 0 || where.f_type != TMPFS_MAGIC)
        GTEST_SKIP() << "/dev/shm is not tmpfs";
    char name[] = "/dev/shm/rowtick-sparse-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::unique_ptr<char, void (*)(char*)> removed(name, [](char* file) { ::unlink(file); });
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, bytes] : data)
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), static_cast<long>(bytes.size()));
    ::close(fd);
    const LineCount count = CountLines(name);
    EXPECT_EQ(count.reason, "");
    EXPECT_EQ(count.lines, lines);
}

constexpr std::uint64_t kEiB = std::uint64_t{1} << 60;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
INSTANTIATE_TEST_SUITE_P(Holes, SparseFile, ::testing::Values(
    SparseCase{"nothing but a hole", kEiB, {}, 1},
    SparseCase{"lines before the hole", kEiB, {{0, "a\nb\nc\n"}}, 4},
    SparseCase{"lines after the hole", kEiB, {{kEiB - 6, "x\ny\nz\n"}}, 3},
    SparseCase{"CR, hole, LF", kEiB, {{0, "a\r"}, {kGiB, "\nb\n"}}, 4},
    SparseCase{"CR LF across no hole", kEiB, {{4094, "a\r"}, {4096, "\nb\n"}}, 3},
    SparseCase{"UTF16 CR, hole, LF", kEiB, {{0, "\xFF\xFE" "a\0\r\0"s}, {kGiB, "\n\0"s}}, 3},
    SparseCase{"UTF16 odd size", kEiB + 1, {{0, "\xFF\xFE" "a\0\n\0"s}}, 2},
    SparseCase{"data between holes in several pieces", 4 * kGiB,
               {{kGiB, std::string(3 * reading::kPieceSize, 'x') + "\n"}, {3 * kGiB, "\r"}}, 3}), ScenarioName);
#endif  // !_WIN32
}}  // namespace rowtick

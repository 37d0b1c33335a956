#include "TestSupport.h"
#include "PieceCount.h"
#include "PositionedRead.h"

namespace rowtick { namespace {
using namespace test;

// Random text with a mark or none, cut at random places (even offsets after a UTF-16 mark), each piece fed
// to its own counter in random blocks, joined: always the one-thread count.
TEST(JoinRanges, PiecesCountedApartGiveTheOneThreadCount)
{
    std::mt19937_64 random(20261207);
    for (int round = 0; round < 20000; ++round) {
        const int kind = round % 4;  // bytes, bytes that start like a mark, UTF-16 LE, UTF-16 BE
        std::string bytes = kind == 2 ? "\xFF\xFE" : kind == 3 ? "\xFE\xFF" : kind == 1 ? "\xFF" : "";
        for (std::size_t n = random() % 80; n > 0; --n)
            bytes += "\r\n\r\nx\0\xFF\xFE"[random() % (kind >= 2 ? 5 : 8)];
        const LineCounter::Encoding encoding = LineCounter::EncodingOf(std::string_view(bytes).substr(0, 2));
        const std::size_t start = LineCounter::MarkSize(encoding);
        const std::size_t step = start == 0 ? 1 : 2;
        std::vector<std::size_t> cuts{start, bytes.size()};
        for (std::size_t n = random() % 5; n > 0 && bytes.size() > start; --n)
            cuts.push_back(std::min(bytes.size(), start + step * (random() % ((bytes.size() - start) / step + 1))));
        std::sort(cuts.begin(), cuts.end());

        std::vector<LineCounter::Range> ranges;
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            LineCounter piece(encoding);
            std::size_t at = cuts[i];
            while (at < cuts[i + 1]) {
                const std::size_t block = std::min<std::size_t>(cuts[i + 1] - at, 1 + random() % 7);
                piece.feed(std::string_view(bytes).substr(at, block));
                at += block;
            }
            ranges.push_back(piece.range());
        }
        ASSERT_EQ(JoinRanges(ranges), CountLinesInBuffer(bytes)) << "round " << round;
    }
}

// A file big enough to be read in pieces on every core, with a line end across each seam between pieces.
struct BigFileCase { std::string scenario, mark, seam, tail; };
class BigFile : public ::testing::TestWithParam<BigFileCase> {};

TEST_P(BigFile, CountsAsOneThreadDoes)
{
    const auto& [scenario, mark, seam, tail] = GetParam();
    std::string bytes = mark;
    while (bytes.size() < reading::kPiecesFrom) {
        const std::size_t nextPiece = (bytes.size() / reading::kPieceSize + 1) * reading::kPieceSize;
        bytes.append(nextPiece - bytes.size() - seam.size() / 2, mark.empty() ? 'x' : '\0');
        bytes += seam;
    }
    bytes += tail;
    TempFolder folder;
    const LineCount count = CountLines(folder.write("big.txt", bytes));
    EXPECT_EQ(count.reason, "");
    EXPECT_EQ(count.lines, CountLinesInBuffer(bytes));
}

INSTANTIATE_TEST_SUITE_P(Seams, BigFile, ::testing::Values(
    BigFileCase{"CR LF across", "", "\r\n", "last"},
    BigFileCase{"LF CR across", "", "\n\r", ""},
    BigFileCase{"CR then text", "", "\rx", "\r"},
    BigFileCase{"UTF16 LE CR LF across", "\xFF\xFE", "\r\0\n\0"s, "\0"s},
    BigFileCase{"UTF16 BE CR LF across", "\xFE\xFF", "\0\r\0\n"s, "x"}), ScenarioName);

#ifndef _WIN32
// While the pieces are read, the file grows or one read fails (through the POSIX reader's seam).
std::atomic<int> tReads = -1;
fs::path tFile;

long GrowingRead(int fd, void* buffer, std::size_t size, std::uint64_t offset)
{
    if (tReads >= 0 && ++tReads == 40)
        std::ofstream(tFile, std::ios::app) << "more\n";
    return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

long FailingRead(int fd, void* buffer, std::size_t size, std::uint64_t offset)
{
    if (offset == 2 * reading::kPieceSize) {
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

TEST(BigFile, AChangeOrAReadErrorInAnyPieceGivesNoCount)
{
    TempFolder folder;
    tFile = folder.write("big.txt", std::string(reading::kPiecesFrom + 1, '\n'));
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};  // a change shows even on a coarse clock
    ASSERT_EQ(::utimensat(AT_FDCWD, tFile.c_str(), old, 0), 0);
    tReads = 0;
    reading::SetPositionedRead(GrowingRead);
    const LineCount grown = CountLines(tFile);
    tReads = -1;
    EXPECT_EQ(grown.text() + grown.reason, "数えている間にファイルが変更されました");

    reading::SetPositionedRead(FailingRead);
    const LineCount failed = CountLines(tFile);
    EXPECT_EQ(failed.text() + failed.reason, "読み込みエラー: 入出力エラーが発生しました");
    reading::SetPositionedRead(nullptr);
    EXPECT_EQ(CountLines(tFile).lines, reading::kPiecesFrom + 2);
}
#endif  // !_WIN32
}}  // namespace rowtick

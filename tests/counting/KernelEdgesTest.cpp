// Built three times: with the kernels this machine picks, with the 16-byte
// kernels only, and with the plain loops only.
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include "counting/LineCounter.h"

namespace rowtick { namespace {

// Where a kernel folds its lane counters into wide totals: 255 rounds of 64 bytes (AVX2), of 16 bytes
// (SSE2), and 32,767 rounds of 8 units (16-bit). One line end per unit fills every lane to the limit. The
// kernels start at unit 1, and the AVX2 kernel first steps up to 32 bytes to an aligned load: its folds
// move with the alignment, so every length up to that lead-in past the fold is tried.
struct FoldCase {
    std::string scenario;
    std::size_t foldUnits, leadIn, alignments;
    std::string mark, unit;
    friend std::ostream& operator<<(std::ostream& out, const FoldCase& c) { return out << c.scenario; }
};
class FoldPoint : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldPoint, OneBeforeAtAndOneAfterAtEveryAlignment)
{
    const FoldCase& c = GetParam();
    const std::size_t mostUnits = 2 * c.foldUnits + c.leadIn + 4;
    std::string text = c.mark;
    for (std::size_t i = 0; i < mostUnits; ++i)
        text += c.unit;
    std::string arena(c.alignments + text.size(), '\0');
    for (std::size_t offset = 0; offset < c.alignments; ++offset) {
        arena.replace(offset, text.size(), text);
        for (std::size_t folds = 1; folds <= 2; ++folds) {
            for (std::size_t units = folds * c.foldUnits - 1; units <= folds * c.foldUnits + c.leadIn + 2; ++units) {
                const std::string_view view(arena.data() + offset, c.mark.size() + units * c.unit.size());
                ASSERT_EQ(CountLinesInBuffer(view), units) << "offset " << offset << ", units " << units;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, FoldPoint, ::testing::Values(
    FoldCase{"AVX2_CR", 16320, 32, 64, "", "\r"},
    FoldCase{"AVX2_LF", 16320, 32, 64, "", "\n"},
    FoldCase{"SSE2_CR", 4080, 0, 16, "", "\r"},
    FoldCase{"SSE2_LF", 4080, 0, 16, "", "\n"},
    FoldCase{"UTF16_LE_CR", 262136, 0, 16, "\xFF\xFE", std::string("\r\0", 2)},
    FoldCase{"UTF16_BE_LF", 262136, 0, 16, "\xFE\xFF", std::string("\0\n", 2)}),
    [](const auto& info) { return info.param.scenario; });
}}  // namespace rowtick

// Fuzzes the line counter against a plain reference: random bytes, a random
// UTF-16 byte-order mark in front, and random block sizes for the stream; and
// the same stream cut into pieces at those block boundaries (even offsets
// after a mark), counted apart and joined as a big file's pieces are.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "counting/LineCounter.h"
#include "../ReferenceLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t mark = data[0];
    const std::uint8_t blockChoice = data[1];
    std::string input;
    if (mark % 4 == 1)
        input = "\xFF\xFE";
    else if (mark % 4 == 2)
        input = "\xFE\xFF";
    input.append(reinterpret_cast<const char*>(data + 2), size - 2);

    // Small blocks split every pair; larger ones cross the vector widths.
    const std::size_t block = blockChoice < 128 ? 1 + blockChoice % 67 : 1 + (blockChoice % 32) * 97;
    rowtick::LineCounter counter;
    for (std::size_t at = 0; at < input.size(); at += block)
        counter.feed(std::string_view(input).substr(at, block));

    const auto encoding = rowtick::LineCounter::EncodingOf(std::string_view(input).substr(0, 2));
    const std::size_t start = rowtick::LineCounter::MarkSize(encoding);
    const std::size_t pieceSize = start == 0 ? block : 2 * block;
    std::vector<rowtick::LineCounter::Range> pieces;
    for (std::size_t at = start; at < input.size(); at += pieceSize) {
        rowtick::LineCounter piece(encoding);
        piece.feed(std::string_view(input).substr(at, pieceSize));
        pieces.push_back(piece.range());
    }

    const std::uint64_t expected = rowtick::test::ReferenceLines(input);
    if (counter.lines() != expected || rowtick::CountLinesInBuffer(input) != expected
        || rowtick::JoinRanges(pieces) != expected)
        std::abort();
    return 0;
}

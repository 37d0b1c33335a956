// Fuzzes the line counter against a plain reference: random bytes, a random
// UTF-16 byte-order mark in front, and random block sizes for the stream; and
// the same stream cut into pieces at those block boundaries (even offsets
// after a mark), counted apart and joined as a big file's pieces are.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "LineCounter.h"

namespace {

// One unit at a time, the rule written as plainly as possible.
std::uint64_t ReferenceCount(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    int width = 1;
    bool bigEndian = false;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        width = 2;
    } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        width = 2;
        bigEndian = true;
    }
    std::size_t i = width == 2 ? 2 : 0;
    std::uint64_t lines = 0;
    bool previousCR = false;
    bool open = false;
    while (i < n) {
        unsigned unit;
        if (width == 1) {
            unit = p[i];
            i += 1;
        } else if (i + 1 < n) {
            unit = bigEndian ? (p[i] << 8 | p[i + 1]) : (p[i] | p[i + 1] << 8);
            i += 2;
        } else {
            unit = 0x100;  // a lone last byte: content, never a line end
            i += 1;
        }
        if (unit == '\r') {
            ++lines;
            open = false;
        } else if (unit == '\n') {
            if (!previousCR)
                ++lines;
            open = false;
        } else {
            open = true;
        }
        previousCR = unit == '\r';
    }
    return lines + (open ? 1 : 0);
}

}  // namespace

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

    const std::uint64_t expected = ReferenceCount(input);
    if (counter.lines() != expected || rowtick::CountLinesInBuffer(input) != expected
        || rowtick::JoinRanges(pieces) != expected)
        std::abort();
    return 0;
}

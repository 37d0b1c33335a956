// Line counting: the streaming rule over bytes, and the counter for one file.
//
// Rule: CR LF, a lone CR and a lone LF each end a line; the last line counts
// even without a line end. A file that starts with a UTF-16 byte-order mark
// (FF FE or FE FF) is counted the same way in 16-bit units; the mark itself is
// not a character. Every other byte, Ctrl-Z included, is ordinary.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rowtick {

// Counts lines over a byte stream fed in blocks of any size (even single bytes):
// a CR at the end of one block and an LF at the start of the next are one line end.
//
// A big file is counted in pieces on several threads: each piece by a counter
// made for its encoding, which sees no mark, and the pieces joined by
// JoinRanges. A UTF-16 file is cut at even offsets only.
class LineCounter {
public:
    enum class Encoding : std::uint8_t { Undecided, Bytes, Utf16LE, Utf16BE };

    // A counter for a whole stream: the encoding is settled by its first bytes.
    LineCounter() = default;
    // A counter for a piece of a stream in the given encoding, mark excluded.
    explicit LineCounter(Encoding encoding) : encoding_(encoding) {}

    void feed(std::string_view block);
    // Lines in everything fed so far, as if the stream ended here.
    std::uint64_t lines() const;

    // What a piece came to, for JoinRanges.
    struct Range {
        std::uint64_t ends = 0;      // line ends, the first unit taken as following one that is not CR
        std::uint16_t first = 0;     // the first and the last unit, when not empty
        std::uint16_t last = 0;
        bool empty = true;
        bool oddByte = false;        // UTF-16: a byte left over at the end
    };
    Range range() const;
    // The encoding the first bytes of a stream give (a mark, or bytes); the
    // stream's content starts after markSize(encoding) bytes.
    static Encoding EncodingOf(std::string_view firstTwoBytes);
    static std::size_t MarkSize(Encoding encoding);

private:
    Encoding encoding_ = Encoding::Undecided;
    bool haveFirstByte_ = false;   // FF or FE seen, waiting for the byte that settles the encoding
    unsigned char firstByte_ = 0;
    bool haveOddByte_ = false;     // UTF-16: first byte of a unit split across blocks
    unsigned char oddByte_ = 0;
    // The last unit seen. Starts as LF so that the stream begins "after a line
    // end": nothing is open, and a leading LF is a line end of its own.
    std::uint16_t last_ = '\n';
    std::uint16_t first_ = 0;      // the first unit, once `started_`
    bool started_ = false;
    std::uint64_t ends_ = 0;       // line ends seen

    void feedBytes(const unsigned char* p, std::size_t n);
    void feedUnits16(const unsigned char* p, std::size_t n);
};

// Convenience: the rule over one whole buffer.
std::uint64_t CountLinesInBuffer(std::string_view bytes);

// The lines of a stream counted in consecutive pieces, in stream order: a CR
// ending one piece and an LF starting the next are one line end.
std::uint64_t JoinRanges(std::span<const LineCounter::Range> ranges);
// Two consecutive pieces as one, so that pieces can be joined as they come.
LineCounter::Range JoinRange(const LineCounter::Range& before, const LineCounter::Range& after);

// The answer for one target.
struct LineCount {
    std::optional<std::uint64_t> lines;  // empty: not countable
    std::string reason;                  // why not, in Japanese (UTF-8); empty when counted

    bool counted() const { return lines.has_value(); }
    // The decimal count, or the empty text when not countable.
    std::string text() const;
};

// Counts the lines of the file `path` names. Only an existing regular file that
// is not hidden is counted (a link to one counts); it is read once in
// fixed-size blocks, a big one in pieces on several threads at once. Never
// blocks on a FIFO or device, never throws.
// A set `stop` ends the read between two blocks and gives no count: a
// cancelled run does not go on reading a huge file nobody waits for.
// `bytesRead`, when given, grows by every block read, for a progress bar, and
// by the size its look gave a file that then cannot be opened.
LineCount CountLines(const std::filesystem::path& path, const std::atomic<bool>* stop = nullptr,
                     std::atomic<std::uint64_t>* bytesRead = nullptr);

}  // namespace rowtick

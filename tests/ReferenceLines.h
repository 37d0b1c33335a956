// The counting rule said plainly, for the tests and the fuzzer to compare the counter with: the bytes decoded
// into units (UTF-16 after its byte-order mark), each CR a line end, each LF one unless it follows a CR, and
// a last line without an end counted too.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace rowtick::test {
inline std::uint64_t ReferenceLines(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool le = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    const bool be = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
    std::vector<unsigned> units;
    std::size_t i = le || be ? 2 : 0;
    for (; le || be ? i + 1 < bytes.size() : i < bytes.size(); i += le || be ? 2 : 1)
        units.push_back(le ? byte(i) | (byte(i + 1) << 8) : be ? (byte(i) << 8) | byte(i + 1) : byte(i));
    if (i < bytes.size())
        units.push_back(0x10000);  // a trailing odd byte: content, never a line end
    std::uint64_t lines = 0;
    for (std::size_t u = 0; u < units.size(); ++u)
        lines += units[u] == '\r' || (units[u] == '\n' && (u == 0 || units[u - 1] != '\r'));
    return lines + (!units.empty() && units.back() != '\r' && units.back() != '\n');
}
}  // namespace rowtick::test

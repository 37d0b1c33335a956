// SHA-256, for the names of a save's leftovers: where a name is too long to
// stand in one whole, and to prove that a leftover is one this program made.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rowtick {

class Sha256 {
public:
    Sha256& add(std::string_view bytes);
    // The digest in lower-case hexadecimal (64 digits); the object is used up.
    std::string hex();
    static std::string Hex(std::string_view bytes) { return Sha256().add(bytes).hex(); }

private:
    void block(const unsigned char* p);

    std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, 64> pending_ = {};
    std::size_t held_ = 0;     // bytes in pending_
    std::uint64_t length_ = 0;  // bytes added
};

}  // namespace rowtick

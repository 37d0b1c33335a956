#include "LineCounter.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "SystemError.h"

// ROWTICK_PLAIN_COUNT builds the plain loops only, and ROWTICK_NO_AVX2 the
// 16-byte kernels only, so that each way through can be tested on one machine.
#if !defined(ROWTICK_PLAIN_COUNT) && (defined(__x86_64__) || defined(_M_X64) || (defined(__i386__) && defined(__SSE2__)))
#define ROWTICK_X86 1
#include <emmintrin.h>
#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#endif

namespace rowtick {

namespace {

constexpr unsigned kCR = '\r';
constexpr unsigned kLF = '\n';

// The rule for one unit: every CR ends a line, an LF ends one unless it
// completes a CR LF pair.
inline unsigned EndsHere(unsigned unit, unsigned previous)
{
    return static_cast<unsigned>(unit == kCR) | (static_cast<unsigned>(unit == kLF) & static_cast<unsigned>(previous != kCR));
}

// The kernels below count the line ends at units 1..n-1 of a run of n units,
// taking unit i-1 as the predecessor of unit i. Unit 0 has its predecessor in
// the previous block, so the caller settles it; this way the kernels never read
// outside the run and need no state.

std::uint64_t BytesScalar(const unsigned char* p, std::size_t n)
{
    std::uint64_t ends = 0;
    for (std::size_t i = 1; i < n; ++i)
        ends += EndsHere(p[i], p[i - 1]);
    return ends;
}

inline unsigned Unit16(const unsigned char* p, bool bigEndian)
{
    return bigEndian ? (static_cast<unsigned>(p[0]) << 8) | p[1] : p[0] | (static_cast<unsigned>(p[1]) << 8);
}

std::uint64_t Units16Scalar(const unsigned char* p, std::size_t units, bool bigEndian)
{
    std::uint64_t ends = 0;
    unsigned previous = units ? Unit16(p, bigEndian) : 0;
    for (std::size_t i = 1; i < units; ++i) {
        const unsigned unit = Unit16(p + 2 * i, bigEndian);
        ends += EndsHere(unit, previous);
        previous = unit;
    }
    return ends;
}

#ifdef ROWTICK_X86

// Each byte lane counts its line ends as 0 - (-1) - (-1) ...; a lane holds at
// most 255, so the lanes are summed into 64-bit totals before that.
std::uint64_t BytesSse2(const unsigned char* p, std::size_t n)
{
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    __m128i totals = zero;
    std::size_t i = 1;
    while (n - i >= 16) {
        std::size_t rounds = std::min<std::size_t>((n - i) / 16, 255);
        __m128i lanes = zero;
        for (; rounds > 0; --rounds, i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
            const __m128i isCR = _mm_cmpeq_epi8(here, cr);
            const __m128i loneLF = _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(here, lf));
            lanes = _mm_sub_epi8(lanes, _mm_or_si128(isCR, loneLF));
        }
        totals = _mm_add_epi64(totals, _mm_sad_epu8(lanes, zero));
    }
    alignas(16) std::uint64_t sums[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), totals);
    // The tail restarts one unit early so that its first unit has a predecessor.
    return sums[0] + sums[1] + BytesScalar(p + i - 1, n - i + 1);
}

// Sixteen-bit lanes hold up to 32,767 before the signed pairwise add folds them.
std::uint64_t Units16Sse2(const unsigned char* p, std::size_t units, bool bigEndian)
{
    // A unit loaded as a little-endian 16-bit lane reads CR as 000D from LE
    // data and as 0D00 from BE data.
    const __m128i cr = _mm_set1_epi16(static_cast<short>(bigEndian ? 0x0D00 : 0x000D));
    const __m128i lf = _mm_set1_epi16(static_cast<short>(bigEndian ? 0x0A00 : 0x000A));
    const __m128i ones = _mm_set1_epi16(1);
    std::uint64_t ends = 0;
    std::size_t i = 1;
    while (units - i >= 8) {
        std::size_t rounds = std::min<std::size_t>((units - i) / 8, 32767);
        __m128i lanes = _mm_setzero_si128();
        for (; rounds > 0; --rounds, i += 8) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i - 2));
            const __m128i isCR = _mm_cmpeq_epi16(here, cr);
            const __m128i loneLF = _mm_andnot_si128(_mm_cmpeq_epi16(before, cr), _mm_cmpeq_epi16(here, lf));
            lanes = _mm_sub_epi16(lanes, _mm_or_si128(isCR, loneLF));
        }
        alignas(16) std::uint32_t sums[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(sums), _mm_madd_epi16(lanes, ones));
        ends += std::uint64_t{sums[0]} + sums[1] + sums[2] + sums[3];
    }
    return ends + Units16Scalar(p + 2 * (i - 1), units - i + 1, bigEndian);
}

#if defined(__GNUC__) || defined(__clang__)
#define ROWTICK_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define ROWTICK_TARGET_AVX2
#endif

ROWTICK_TARGET_AVX2
std::uint64_t BytesAvx2(const unsigned char* p, std::size_t n)
{
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_setzero_si256();
    __m256i totals = zero;
    // The current bytes are loaded from 32-byte boundaries: a load that
    // straddles two cache lines costs two, and this kernel runs from the
    // second-level cache, where that showed as a fifth of its time.
    std::size_t i = 1 + (32 - reinterpret_cast<std::uintptr_t>(p + 1) % 32) % 32;
    if (i + 64 > n)
        return BytesSse2(p, n);
    std::uint64_t ends = BytesScalar(p, i);
    // Two independent lane sets per round keep the adds off one dependency chain.
    while (n - i >= 64) {
        std::size_t rounds = std::min<std::size_t>((n - i) / 64, 255);
        __m256i lanesA = zero;
        __m256i lanesB = zero;
        for (; rounds > 0; --rounds, i += 64) {
            const __m256i hereA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
            const __m256i beforeA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i - 1));
            const __m256i hereB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
            const __m256i beforeB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 31));
            const __m256i endsA = _mm256_or_si256(
                _mm256_cmpeq_epi8(hereA, cr),
                _mm256_andnot_si256(_mm256_cmpeq_epi8(beforeA, cr), _mm256_cmpeq_epi8(hereA, lf)));
            const __m256i endsB = _mm256_or_si256(
                _mm256_cmpeq_epi8(hereB, cr),
                _mm256_andnot_si256(_mm256_cmpeq_epi8(beforeB, cr), _mm256_cmpeq_epi8(hereB, lf)));
            lanesA = _mm256_sub_epi8(lanesA, endsA);
            lanesB = _mm256_sub_epi8(lanesB, endsB);
        }
        totals = _mm256_add_epi64(totals, _mm256_sad_epu8(lanesA, zero));
        totals = _mm256_add_epi64(totals, _mm256_sad_epu8(lanesB, zero));
    }
    alignas(32) std::uint64_t sums[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), totals);
    // The tail runs legacy SSE code: leave the upper halves clean for it.
    _mm256_zeroupper();
    // Fewer than 64 bytes left: the 16-byte kernel takes the rest.
    return ends + sums[0] + sums[1] + sums[2] + sums[3] + BytesSse2(p + i - 1, n - i + 1);
}

bool HasAvx2()
{
#if defined(ROWTICK_NO_AVX2)
    return false;
#elif defined(__GNUC__) || defined(__clang__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#elif defined(_MSC_VER)
    int info[4] = {};
    __cpuid(info, 0);
    if (info[0] < 7)
        return false;
    __cpuid(info, 1);
    const bool osSavesYmm = (info[2] & (1 << 27)) != 0 && (_xgetbv(0) & 6) == 6;
    if (!osSavesYmm || (info[2] & (1 << 28)) == 0)
        return false;
    __cpuidex(info, 7, 0);
    return (info[1] & (1 << 5)) != 0;
#else
    return false;
#endif
}

std::uint64_t CountBytes(const unsigned char* p, std::size_t n)
{
    // Chosen on first use rather than at start-up, so that a counter used by
    // another start-up routine never meets an unset kernel.
    using Kernel = std::uint64_t (*)(const unsigned char*, std::size_t);
    static const Kernel kernel = HasAvx2() ? BytesAvx2 : BytesSse2;
    return kernel(p, n);
}
std::uint64_t CountUnits16(const unsigned char* p, std::size_t units, bool bigEndian)
{
    return Units16Sse2(p, units, bigEndian);
}

#else  // not x86: plain loops, left to the compiler's vectoriser

std::uint64_t CountBytes(const unsigned char* p, std::size_t n) { return BytesScalar(p, n); }
std::uint64_t CountUnits16(const unsigned char* p, std::size_t units, bool bigEndian)
{
    return Units16Scalar(p, units, bigEndian);
}

#endif

}  // namespace

void LineCounter::feedBytes(const unsigned char* p, std::size_t n)
{
    if (n == 0)
        return;
    if (!started_) {
        started_ = true;
        first_ = p[0];
    }
    ends_ += EndsHere(p[0], last_) + CountBytes(p, n);
    last_ = p[n - 1];
}

void LineCounter::feedUnits16(const unsigned char* p, std::size_t n)
{
    const bool bigEndian = encoding_ == Encoding::Utf16BE;
    if (haveOddByte_ && n > 0) {
        const unsigned char pair[2] = {oddByte_, p[0]};
        const unsigned unit = Unit16(pair, bigEndian);
        if (!started_) {
            started_ = true;
            first_ = static_cast<std::uint16_t>(unit);
        }
        ends_ += EndsHere(unit, last_);
        last_ = static_cast<std::uint16_t>(unit);
        haveOddByte_ = false;
        ++p;
        --n;
    }
    const std::size_t units = n / 2;
    if (units > 0) {
        if (!started_) {
            started_ = true;
            first_ = static_cast<std::uint16_t>(Unit16(p, bigEndian));
        }
        ends_ += EndsHere(Unit16(p, bigEndian), last_) + CountUnits16(p, units, bigEndian);
        last_ = static_cast<std::uint16_t>(Unit16(p + 2 * (units - 1), bigEndian));
    }
    if (n % 2 != 0) {
        haveOddByte_ = true;
        oddByte_ = p[n - 1];
    }
}

void LineCounter::feed(std::string_view block)
{
    auto p = reinterpret_cast<const unsigned char*>(block.data());
    std::size_t n = block.size();
    if (n == 0)
        return;
    if (encoding_ == Encoding::Undecided) {
        // Only FF FE and FE FF mark UTF-16, so any other first byte settles it at once.
        if (!haveFirstByte_) {
            if (p[0] != 0xFF && p[0] != 0xFE) {
                encoding_ = Encoding::Bytes;
            } else {
                haveFirstByte_ = true;
                firstByte_ = p[0];
                ++p;
                if (--n == 0)
                    return;
            }
        }
        if (haveFirstByte_) {
            haveFirstByte_ = false;
            if (firstByte_ == 0xFF && p[0] == 0xFE) {
                encoding_ = Encoding::Utf16LE;
                ++p;
                --n;
            } else if (firstByte_ == 0xFE && p[0] == 0xFF) {
                encoding_ = Encoding::Utf16BE;
                ++p;
                --n;
            } else {
                encoding_ = Encoding::Bytes;
                feedBytes(&firstByte_, 1);
            }
        }
    }
    if (encoding_ == Encoding::Bytes)
        feedBytes(p, n);
    else
        feedUnits16(p, n);
}

std::uint64_t LineCounter::lines() const
{
    // A lone FF or FE still waiting for its partner is a line of one byte.
    if (encoding_ == Encoding::Undecided)
        return haveFirstByte_ ? 1 : 0;
    const bool openLine = (last_ != kCR && last_ != kLF) || haveOddByte_;
    return ends_ + (openLine ? 1 : 0);
}

std::uint64_t CountLinesInBuffer(std::string_view bytes)
{
    LineCounter counter;
    counter.feed(bytes);
    return counter.lines();
}

LineCounter::Range LineCounter::range() const
{
    return {ends_, first_, last_, !started_, haveOddByte_};
}

LineCounter::Encoding LineCounter::EncodingOf(std::string_view firstTwoBytes)
{
    if (firstTwoBytes == std::string_view("\xFF\xFE", 2))
        return Encoding::Utf16LE;
    if (firstTwoBytes == std::string_view("\xFE\xFF", 2))
        return Encoding::Utf16BE;
    return Encoding::Bytes;
}

std::size_t LineCounter::MarkSize(Encoding encoding)
{
    return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE ? 2 : 0;
}

LineCounter::Range JoinRange(const LineCounter::Range& before, const LineCounter::Range& after)
{
    LineCounter::Range joined = after.empty ? before : after;
    joined.oddByte = before.oddByte || after.oddByte;
    if (before.empty || after.empty)
        return joined;
    // Each piece counted its first LF as a line end; after a CR it is not one.
    joined.ends = before.ends + after.ends - (before.last == kCR && after.first == kLF ? 1 : 0);
    joined.first = before.first;
    return joined;
}

std::uint64_t JoinRanges(std::span<const LineCounter::Range> ranges)
{
    LineCounter::Range all;
    for (const LineCounter::Range& range : ranges)
        all = JoinRange(all, range);
    const bool openLine = all.oddByte || (!all.empty && all.last != kCR && all.last != kLF);
    return all.ends + (openLine ? 1 : 0);
}

std::string LineCount::text() const
{
    return lines ? std::to_string(*lines) : std::string();
}

}  // namespace rowtick

// The record that proves a self-extractor's cabinet whole: the packer writes it at the
// end of the payload block, right in front of the trailer, and the extractor checks the
// cabinet it copies against it. The cabinet format's own block checksums are a 32-bit
// XOR, blind to damage that changes each byte position modulo 4 an even number of times,
// and optional; this sum covers every byte. Fixed layout, integers little-endian:
//   0   8 bytes  the marker "K4CRC32" followed by 0x1A
//   8   4 bytes  the cabinet's length in bytes
//   12  4 bytes  the CRC-32 of those bytes (zlib's crc32; Crc32 below gives the same)
// Its place is counted from the trailer, not from the cabinet's header, so a damaged
// header cannot move it. Platform-free and header-only: the program and the packer read
// the one definition.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include "K4LittleEndian.h"
#if defined(__x86_64__) || defined(__i386__)
#define K4_CRC_CARRYLESS 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define K4_CRC_CARRYLESS 0
#endif

namespace cabsum {

inline constexpr std::size_t RecordSize = 16;
// Eight bytes: a payload without the record (another packer's, or one made before it)
// ends in cabinet data or zero padding, which matches them by chance once in 2^64.
inline constexpr unsigned char Marker[8] = {'K', '4', 'C', 'R', 'C', '3', '2', 0x1A};
inline constexpr std::size_t SizeField = 8;
inline constexpr std::size_t CrcField = 12;

struct Record {
    std::uint32_t cabinetSize = 0;
    std::uint32_t crc = 0;

    bool operator==(const Record&) const = default;
};

inline void Encode(const Record& record, unsigned char (&out)[RecordSize]) {
    for (std::size_t i = 0; i < sizeof Marker; ++i) out[i] = Marker[i];
    le::Write32(out + SizeField, record.cabinetSize);
    le::Write32(out + CrcField, record.crc);
}

namespace detail {
#if K4_CRC_CARRYLESS
inline bool HasCarrylessMultiply() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) && (d & bit_SSE2);
}

inline constexpr std::size_t FoldStep = 64;

// Windows calls back on 32-bit x86 with the stack aligned to 4 bytes only; the
// 16-byte values below may be kept on it.
#if defined(__i386__)
#define K4_CRC_FOLD_ATTRIBUTES __attribute__((target("pclmul,sse2"), force_align_arg_pointer))
#else
#define K4_CRC_FOLD_ATTRIBUTES __attribute__((target("pclmul,sse2")))
#endif

// x times `k`'s two halves, moved forward by the distance `k` is made for, plus `next`.
K4_CRC_FOLD_ATTRIBUTES inline __m128i FoldInto(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

K4_CRC_FOLD_ATTRIBUTES inline __m128i Load16(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the first multiple of 16 bytes of `bytes` (count >= 64) into 16 bytes with the
// same remainder, the running sum `state` (inverted) taken in; returns how many it used.
// The constants are x^(512+32), x^(512-32), x^(128+32) and x^(128-32) modulo the
// polynomial, bit-reflected and shifted left by one: four 16-byte lanes 64 bytes apart,
// then one lane 16 bytes at a time.
K4_CRC_FOLD_ATTRIBUTES inline std::size_t Fold(std::uint32_t state, const unsigned char* bytes, std::size_t count,
                                               unsigned char* out) {
    const __m128i by64 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i by16 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    __m128i x0 = _mm_xor_si128(Load16(bytes), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x1 = Load16(bytes + 16), x2 = Load16(bytes + 32), x3 = Load16(bytes + 48);
    std::size_t used = FoldStep;
    for (; count - used >= FoldStep; used += FoldStep) {
        x0 = FoldInto(x0, by64, Load16(bytes + used));
        x1 = FoldInto(x1, by64, Load16(bytes + used + 16));
        x2 = FoldInto(x2, by64, Load16(bytes + used + 32));
        x3 = FoldInto(x3, by64, Load16(bytes + used + 48));
    }
    x0 = FoldInto(FoldInto(FoldInto(x0, by16, x1), by16, x2), by16, x3);
    for (; count - used >= 16; used += 16) x0 = FoldInto(x0, by16, Load16(bytes + used));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x0);
    return used;
}
#else
inline bool HasCarrylessMultiply() { return false; }
#endif
}  // namespace detail

// zlib's CRC-32 (reflected polynomial 0xEDB88320, inverted before and after). The
// extractor sums its cabinet with this rather than with zlib's crc32, whose precomputed
// tables would add 8 to 13 KB to the program every archive carries: these tables (8 KB)
// are made when the object is, wherever its owner puts it (the extractor: on the heap,
// and only for a payload that carries a record). The packer uses zlib's crc32, and the
// tests compare the two.
// The sum runs while the payload is copied before the window shows, so its speed is
// part of the time to the window: on a processor with carry-less multiplication
// (PCLMULQDQ, nearly every x86 processor since 2010) 64 bytes a step are folded with it
// (several GB/s); elsewhere, and for the last bytes, the tables take 8 bytes a step
// (about 1.5 GB/s).
class Crc32 {
public:
    // `carryless`: use the processor's carry-less multiplication where it has one.
    explicit Crc32(bool carryless = true) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table_[0][n] = c;
        }
        for (std::uint32_t n = 0; n < 256; ++n)
            for (int t = 1; t < 8; ++t) table_[t][n] = table_[0][table_[t - 1][n] & 0xFF] ^ (table_[t - 1][n] >> 8);
        carryless_ = carryless && detail::HasCarrylessMultiply();
    }

    // The sum `crc` (0 to start) continued over `count` bytes.
    std::uint32_t Update(std::uint32_t crc, const unsigned char* bytes, std::size_t count) const {
        crc = ~crc;
#if K4_CRC_CARRYLESS
        if (carryless_ && count >= detail::FoldStep) {
            // The folded 16 bytes stand for everything before them, modulo the
            // polynomial: their sum from 0 is the sum so far.
            unsigned char folded[16];
            const std::size_t used = detail::Fold(crc, bytes, count, folded);
            crc = Tables(0, folded, sizeof folded);
            bytes += used;
            count -= used;
        }
#endif
        return ~Tables(crc, bytes, count);
    }

private:
    std::uint32_t Tables(std::uint32_t crc, const unsigned char* bytes, std::size_t count) const {
        for (; count >= 8; count -= 8, bytes += 8) {
            const std::uint32_t low = crc ^ le::Read32(bytes);
            const std::uint32_t high = le::Read32(bytes + 4);
            crc = table_[7][low & 0xFF] ^ table_[6][(low >> 8) & 0xFF] ^ table_[5][(low >> 16) & 0xFF] ^
                  table_[4][low >> 24] ^ table_[3][high & 0xFF] ^ table_[2][(high >> 8) & 0xFF] ^
                  table_[1][(high >> 16) & 0xFF] ^ table_[0][high >> 24];
        }
        for (; count > 0; --count, ++bytes) crc = table_[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
        return crc;
    }

    std::uint32_t table_[8][256];
    bool carryless_ = false;
};

// The record in these RecordSize bytes; nothing when they do not begin with the marker.
inline std::optional<Record> Decode(const unsigned char* in) {
    for (std::size_t i = 0; i < sizeof Marker; ++i)
        if (in[i] != Marker[i]) return std::nullopt;
    return Record{le::Read32(in + SizeField), le::Read32(in + CrcField)};
}

}  // namespace cabsum

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

// zlib's CRC-32 (reflected polynomial 0xEDB88320, inverted before and after), eight bytes
// at a time. The extractor sums its cabinet with this rather than with zlib's crc32, whose
// precomputed tables would add 8 to 13 KB to the program every archive carries: these
// tables (8 KB) are made when the object is, wherever its owner puts it (the extractor: on
// the heap, and only for a payload that carries a record). The packer uses zlib's crc32,
// and the tests compare the two.
class Crc32 {
public:
    Crc32() {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table_[0][n] = c;
        }
        for (std::uint32_t n = 0; n < 256; ++n)
            for (int t = 1; t < 8; ++t) table_[t][n] = table_[0][table_[t - 1][n] & 0xFF] ^ (table_[t - 1][n] >> 8);
    }

    // The sum `crc` (0 to start) continued over `count` bytes.
    std::uint32_t Update(std::uint32_t crc, const unsigned char* bytes, std::size_t count) const {
        crc = ~crc;
        for (; count >= 8; count -= 8, bytes += 8) {
            const std::uint32_t low = crc ^ le::Read32(bytes);
            const std::uint32_t high = le::Read32(bytes + 4);
            crc = table_[7][low & 0xFF] ^ table_[6][(low >> 8) & 0xFF] ^ table_[5][(low >> 16) & 0xFF] ^
                  table_[4][low >> 24] ^ table_[3][high & 0xFF] ^ table_[2][(high >> 8) & 0xFF] ^
                  table_[1][(high >> 16) & 0xFF] ^ table_[0][high >> 24];
        }
        for (; count > 0; --count, ++bytes) crc = table_[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
        return ~crc;
    }

private:
    std::uint32_t table_[8][256];
};

// The record in these RecordSize bytes; nothing when they do not begin with the marker.
inline std::optional<Record> Decode(const unsigned char* in) {
    for (std::size_t i = 0; i < sizeof Marker; ++i)
        if (in[i] != Marker[i]) return std::nullopt;
    return Record{le::Read32(in + SizeField), le::Read32(in + CrcField)};
}

}  // namespace cabsum

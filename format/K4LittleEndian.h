// The one reading and writing of the little-endian integers the on-disk formats hold
// (the cabinet, the PE headers, the payload block and its sum record), byte by byte, so
// that it needs neither alignment nor a little-endian machine. Header-only: the
// extractor and the packer compile the same lines.
#pragma once
#include <cstdint>

namespace le {

inline std::uint16_t Read16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

inline std::uint32_t Read32(const unsigned char* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

inline void Write16(unsigned char* p, std::uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void Write32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace le

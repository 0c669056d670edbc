// The record that makes an archive an installer: the command the extractor starts once
// every file is written. Archives without it hold no such bytes and behave as they always
// have. The packer writes it in front of the sum record (or, without one, in front of
// the trailer); the extractor finds it from there, never from the cabinet, so the
// cabinet's header cannot move it:
//   ... cabinet [padding] [run record] [sum record] L
// Layout, integers little-endian, the fixed part last so that it is found from the end:
//   0      P bytes  the program: a member's path inside the cabinet, as listed, UTF-8
//   P      A bytes  its arguments, UTF-8, passed as written
//   P+A    4 bytes  P
//   P+A+4  4 bytes  A
//   P+A+8  4 bytes  flags (FlagTemporary; every other bit 0)
//   P+A+12 4 bytes  the CRC-32 (zlib's) of the P + A + 12 bytes before it
//   P+A+16 8 bytes  the marker "K4RUNCM" followed by 0x1A
// The sum proves the command as written: a damaged record is refused, never run.
// Platform-free and header-only: the program and the packer read the one definition.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include "K4LittleEndian.h"

namespace runrecord {

inline constexpr std::size_t TailSize = 24;
inline constexpr unsigned char Marker[8] = {'K', '4', 'R', 'U', 'N', 'C', 'M', 0x1A};
inline constexpr std::size_t ProgramLengthField = 0;
inline constexpr std::size_t ArgumentsLengthField = 4;
inline constexpr std::size_t FlagsField = 8;
inline constexpr std::size_t CrcField = 12;
inline constexpr std::size_t MarkerField = 16;
// The bytes the CRC covers besides the texts: the two lengths and the flags.
inline constexpr std::size_t SummedTailSize = CrcField;

// A cabinet keeps a member's name in at most 255 bytes.
inline constexpr std::uint32_t MaxProgramLength = 255;
// Beyond what a command line of the system takes (32,767 characters) once its program
// is put in front; a bound the extractor can read into one buffer.
inline constexpr std::uint32_t MaxArgumentsLength = 8191;

// The archive extracts into a fresh folder of its own under the user's temporary
// folder, and removes it when the command and every process it started have ended.
inline constexpr std::uint32_t FlagTemporary = 1;
inline constexpr std::uint32_t KnownFlags = FlagTemporary;

struct Tail {
    std::uint32_t programLength = 0;
    std::uint32_t argumentsLength = 0;
    std::uint32_t flags = 0;
    std::uint32_t crc = 0;

    bool operator==(const Tail&) const = default;
    std::uint64_t RecordSize() const { return std::uint64_t{programLength} + argumentsLength + TailSize; }
    bool Temporary() const { return (flags & FlagTemporary) != 0; }
    // The lengths and flags this reader can follow: a program named, both texts within
    // their bounds, no flag it does not know.
    bool Followable() const {
        return programLength > 0 && programLength <= MaxProgramLength && argumentsLength <= MaxArgumentsLength &&
               (flags & ~KnownFlags) == 0;
    }
};

// The fixed part in these TailSize bytes; nothing when they do not end in the marker.
inline std::optional<Tail> DecodeTail(const unsigned char* in) {
    for (std::size_t i = 0; i < sizeof Marker; ++i)
        if (in[MarkerField + i] != Marker[i]) return std::nullopt;
    return Tail{le::Read32(in + ProgramLengthField), le::Read32(in + ArgumentsLengthField), le::Read32(in + FlagsField),
                le::Read32(in + CrcField)};
}

// The fixed part's bytes for `tail` (whose crc the writer has already taken).
inline void EncodeTail(const Tail& tail, unsigned char (&out)[TailSize]) {
    le::Write32(out + ProgramLengthField, tail.programLength);
    le::Write32(out + ArgumentsLengthField, tail.argumentsLength);
    le::Write32(out + FlagsField, tail.flags);
    le::Write32(out + CrcField, tail.crc);
    for (std::size_t i = 0; i < sizeof Marker; ++i) out[MarkerField + i] = Marker[i];
}

// zlib's CRC-32 `crc` (0 to start) continued over `count` bytes, a bit at a time: the
// record is a few hundred bytes, read once, and needs no tables in the program.
inline std::uint32_t SmallCrc32(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    crc = ~crc;
    for (; count > 0; --count, ++bytes) {
        crc ^= *bytes;
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// The CRC the tail must hold for these texts: over the program, the arguments and the
// tail's first SummedTailSize bytes.
inline std::uint32_t RecordCrc(const unsigned char* program, const unsigned char* arguments, const Tail& tail) {
    unsigned char fixed[TailSize];
    EncodeTail(tail, fixed);
    std::uint32_t crc = SmallCrc32(0, program, tail.programLength);
    crc = SmallCrc32(crc, arguments, tail.argumentsLength);
    return SmallCrc32(crc, fixed, SummedTailSize);
}

}  // namespace runrecord

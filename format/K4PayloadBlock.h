// The block a self-extractor carries behind its program image, read the one way both
// programs read it: three counted texts, the cabinet, any padding, an optional sum
// record (K4CabinetSum.h), then the 4-byte trailer holding the block's length L.
//   len1 text1 len2 text2 len3 text3 cabinet [padding] [sum record] L
// Every integer is 32-bit little-endian and signed as the extractor reads it. Read
// defensively through the read-at interface: every length is checked against the block
// before it is followed. The extractor reads its own payload with it, the packer the
// archives it checks and inspects, so that the two accept and refuse the same blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include "K4CabFormat.h"
#include "K4CabinetSum.h"
#include "K4RunRecord.h"

namespace payloadblock {

inline constexpr std::uint64_t TrailerSize = 4;
inline constexpr std::uint64_t LengthFieldSize = 4;
inline constexpr std::size_t TextCount = 3;
// The extractor keeps each text in at most 255 bytes.
inline constexpr std::int32_t MaxTextLength = 255;
// The shortest block: three empty texts.
inline constexpr std::uint64_t TextFieldsSize = TextCount * LengthFieldSize;
// The target directory where the first text names none: the packer writes it into
// the payload, the extractor falls back to it.
inline constexpr char DefaultTarget[] = "C:\\Buf\\";
// The file the extractor copies the cabinet into before it lists and extracts it.
inline constexpr char TemporaryCabinetName[] = "DATAFILE.K4A";

enum class Fault {
    None,
    Unreadable,         // a read inside the file failed
    NoTrailer,          // the file is shorter than the trailer
    TrailerOutside,     // L is negative or reaches before the file's start
    TrailerTooShort,    // L is less than the three length fields
    TextLengthOutside,  // a text length is negative or above MaxTextLength
    TextOutside,        // a text runs past the block
    NoCabinet,          // nothing follows the texts
    RunRecordDamaged,   // a run record's marker, but lengths, flags or sum that do not hold
};

struct Block {
    Fault fault = Fault::None;
    std::size_t faultText = 0;   // with the text faults: the text at fault, 1 to 3
    std::int64_t stated = 0;     // with a fault: the trailer's or the text's length as stored
    std::uint64_t start = 0;     // the block's first byte: where the program image ends
    std::uint32_t length = 0;    // L
    std::uint64_t textOffset[TextCount] = {};
    std::uint32_t textLength[TextCount] = {};
    std::uint64_t cabinetOffset = 0;   // the first byte after the third text
    // The cabinet and any padding behind it: up to the run record, the sum record or
    // the trailer, whichever comes first.
    std::uint64_t cabinetRoom = 0;
    bool signature = false;      // the room begins with the cabinet signature
    bool summed = false;         // the block ends in a sum record
    cabsum::Record sum;          // that record, when summed
    bool runs = false;           // the block carries a run record, sound by its sum
    std::uint64_t runOffset = 0; // where its program text starts; its arguments follow
    runrecord::Tail run;         // its lengths and flags, when it runs
    bool Sound() const { return fault == Fault::None; }
};

// Reads the block whose trailer ends at `end` (the end of the file, or in front of a
// certificate table). A sum record is found from the trailer, never from the cabinet's
// header, which may be the damaged part: 16 bytes in front of the trailer that begin
// with its marker, where the room holds at least a cabinet signature besides. A run
// record is found the same way in front of the sum record (or of the trailer), and its
// sum is checked here: a block whose record is damaged is refused as a whole.
Block ReadBlock(cabfmt::ReadAt& file, std::uint64_t end);

// How much of the `room` bytes whose first `headSize` bytes are `head` is the cabinet:
// the size its header states, as far as the room goes. Whatever follows it (the packer's
// padding) is not the cabinet's. A room without a signature, or whose header states no
// usable size, is all cabinet, for the cabinet check to judge.
std::uint64_t CabinetLength(const unsigned char* head, std::size_t headSize, std::uint64_t room);

}  // namespace payloadblock

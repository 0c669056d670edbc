// The block appended behind the extractor program, exactly as the extractor reads it:
// len1 text1 len2 text2 len3 text3 cabinet padding, then a trailer holding the block's length
// L (12 + len1 + len2 + len3 + cabinet length + padding). All integers 32-bit little-endian.
// The zero padding makes the file a multiple of 8 bytes, so that signing, which appends its
// certificate table on an 8-byte boundary, inserts nothing between the trailer and the table.
#pragma once
#include <cstdint>
#include <string>

#include "Bytes.h"
#include "K4PeImage.h"

namespace k4pack {

// The extractor keeps each text in a length-prefixed string of at most 255 bytes.
inline constexpr std::size_t kMaxTextLength = peimage::MaxTextLength;
// The extractor addresses its own file and the block with signed 32-bit numbers.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;
inline constexpr std::uint32_t kTrailerSize = peimage::TrailerSize;
// The packer makes the file a multiple of this, the alignment of a certificate table.
inline constexpr std::uint64_t kFileAlignment = 8;

struct PayloadTexts {
    std::string targetDirectory;  // text 1: the default target directory
    std::string windowCaption;    // text 2
    std::string titleLine;        // text 3

    bool operator==(const PayloadTexts&) const = default;
};

// Where each part of a finished self-extractor lies, all offsets from the file's start.
struct PayloadLayout {
    std::uint64_t imageSize = 0;      // the extractor program, untouched; the block starts here
    std::uint64_t cabinetOffset = 0;  // first byte after the third text
    std::uint64_t cabinetSize = 0;    // the cabinet's own length (its header's, when read)
    std::uint64_t paddingSize = 0;    // bytes between the cabinet and the trailer
    std::uint32_t blockLength = 0;    // L, the trailer's value
    std::uint64_t payloadEnd = 0;     // where the trailer ends: imageSize + L + 4
    std::uint64_t fileSize = 0;       // the whole file: payloadEnd, plus a signature if any
    std::uint64_t certificateTableOffset = 0;  // 0 when unsigned
    std::uint64_t certificateTableSize = 0;
};

// Throws PackError naming the text when one is longer than the extractor accepts.
void CheckPayloadTexts(const PayloadTexts& texts);

// The layout of an image followed by these texts, a cabinet of this size and the zero padding
// that makes the file a multiple of kFileAlignment; throws PackError when a text is too long
// or the result would exceed what the extractor addresses.
PayloadLayout PlanPayload(std::uint64_t imageSize, const PayloadTexts& texts,
                          std::uint64_t cabinetSize);

// The 12 + len1 + len2 + len3 bytes in front of the cabinet.
std::vector<std::uint8_t> EncodeTextFields(const PayloadTexts& texts);

// Writes the block and the trailer for `layout` (made by PlanPayload with the same texts and
// cabinet.Size()): text fields, every byte of `cabinet`, padding, trailer. The image is the
// caller's.
void WritePayload(ByteSink& out, const PayloadLayout& layout, const PayloadTexts& texts,
                  const ByteSource& cabinet);

struct PayloadContents {
    PayloadTexts texts;
    PayloadLayout layout;
};

// Reads the trailer and the block of a finished self-extractor, signed or not. Throws
// InvalidPayload with the reason when the extractor would refuse it: file shorter than the
// trailer, L below 12 or beyond the file, a text length outside 0..255 or beyond the block,
// or a cabinet that does not begin with "MSCF". A signed file's trailer is found as the
// extractor finds it: right in front of the certificate table, or up to 7 zero bytes before
// it, wherever it leads to a cabinet; failing that, the file is read as unsigned.
PayloadContents ReadPayload(const ByteSource& file);

}  // namespace k4pack

// The block appended behind the extractor program, exactly as the extractor reads it:
// len1 text1 len2 text2 len3 text3 cabinet padding [run record] [sum record], then a trailer
// holding the block's length L (12 + len1 + len2 + len3 + cabinet length + padding, plus the
// run record's length with one, plus 16 with the sum record). All integers 32-bit
// little-endian. The zero padding makes the file a multiple of 8 bytes, so that signing,
// which appends its certificate table on an 8-byte boundary, inserts nothing between the
// trailer and the table. The run record (format/K4RunRecord.h) holds the command an
// installer archive starts; archives packed without one have no such bytes. The sum record
// (format/K4CabinetSum.h) holds the CRC-32 of the cabinet's bytes, which the extractor
// checks while it copies them.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Bytes.h"
#include "K4CabinetSum.h"
#include "K4PayloadBlock.h"
#include "K4PeImage.h"
#include "pack/RunCommand.h"

namespace k4pack {

// The extractor keeps each text in a length-prefixed string of at most 255 bytes.
inline constexpr std::size_t kMaxTextLength = payloadblock::MaxTextLength;
// The extractor addresses its own file and the block with signed 32-bit numbers.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;
inline constexpr std::uint32_t kTrailerSize = payloadblock::TrailerSize;
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
    std::uint64_t runOffset = 0;      // where the run record starts; 0 when there is none
    std::uint64_t runSize = 0;        // its length: program, arguments and the fixed part
    std::uint64_t sumOffset = 0;      // where the sum record starts; 0 when there is none
    cabsum::Record sum;               // as read (the packer's crc is filled in as it writes)
};

// Whether a planned block ends in the sum record. Every archive the packer writes does; the
// plain layout is the one archives of other packers and older ones have.
enum class SumRecord { None, Crc32 };

// Throws PackError naming the text when one is longer than the extractor accepts.
void CheckPayloadTexts(const PayloadTexts& texts);

// The layout of an image followed by these texts, a cabinet of this size, the zero padding
// that makes the file a multiple of kFileAlignment, the run record of `run` when there is a
// command and, asked for, the sum record; throws PackError when a text or the command is
// too long or the result would exceed what the extractor addresses.
PayloadLayout PlanPayload(std::uint64_t imageSize, const PayloadTexts& texts,
                          std::uint64_t cabinetSize, SumRecord sum = SumRecord::None,
                          const std::optional<RunCommand>& run = std::nullopt);

// The run record's bytes for `command` (format/K4RunRecord.h): program, arguments, their
// lengths, the flags and the CRC-32 over them, the marker. Throws PackError when the
// record cannot hold the command.
std::vector<std::uint8_t> EncodeRunRecord(const RunCommand& command);

// The 12 + len1 + len2 + len3 bytes in front of the cabinet.
std::vector<std::uint8_t> EncodeTextFields(const PayloadTexts& texts);

// Writes the block and the trailer for `layout` (made by PlanPayload with the same texts,
// cabinet.Size() and command): text fields, every byte of `cabinet`, padding, the run record
// when there is a command, the sum record when the layout has one (the CRC-32 taken as the
// cabinet's bytes pass), trailer. The image is the caller's.
void WritePayload(ByteSink& out, const PayloadLayout& layout, const PayloadTexts& texts,
                  const ByteSource& cabinet, const std::optional<RunCommand>& run = std::nullopt);

struct PayloadContents {
    PayloadTexts texts;
    PayloadLayout layout;
    std::optional<RunCommand> run;  // the run record's command; nothing without a record
};

// Reads the trailer and the block of a finished self-extractor, signed or not, as the
// extractor reads it (payloadblock::ReadBlock). Throws InvalidPayload with the reason when
// the extractor would refuse it: file shorter than the trailer, L below 12 or beyond the
// file, a text length outside 0..255 or beyond the block, nothing after the texts; and,
// where the extractor's cabinet check would refuse it later, a cabinet that does not begin
// with "MSCF". A signed file's trailer is found as the
// extractor finds it: right in front of the certificate table, or up to 7 zero bytes before
// it, wherever it leads to a cabinet; failing that, the file is read as unsigned. A sum
// record is found by its marker in front of the trailer, a run record by its marker in front
// of that (or of the trailer); the cabinet and padding end where the first of them begins.
// A run record whose marker is there but whose lengths, flags or sum do not hold is refused
// as the extractor refuses it.
PayloadContents ReadPayload(const ByteSource& file);

// The CRC-32 (zlib's crc32) `crc` continued over `bytes`; 0 starts a sum.
std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// The CRC-32 (zlib's crc32) of `length` bytes of `file` from `offset`.
std::uint32_t Crc32Of(const ByteSource& file, std::uint64_t offset, std::uint64_t length);

// What is wrong between the cabinet and its sum record, as the extractor would refuse it:
// a record covering more than lies in front of it, a CRC-32 that differs, or a length other
// than the cabinet header's. Empty when all holds or the payload carries no record.
std::string CabinetSumFault(const ByteSource& file, const PayloadLayout& layout);

}  // namespace k4pack

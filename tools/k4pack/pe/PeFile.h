// The parts of an extractor program's PE headers that replacing its resource section
// touches: the section table, the data directories, the sizes the loader checks and the
// checksum. Read from bytes in memory with every offset checked against their size.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Bytes.h"
#include "K4PeImage.h"

namespace k4pack {

inline constexpr std::uint32_t kResourceDirectory = 2;    // IMAGE_DIRECTORY_ENTRY_RESOURCE
inline constexpr std::uint32_t kRelocationDirectory = 5;  // IMAGE_DIRECTORY_ENTRY_BASERELOC
inline constexpr std::uint16_t kMachineI386 = 0x14C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
// The optional header's fields the resource writer reads or rewrites, from its start
// (the same in PE32 and PE32+).
inline constexpr std::size_t kSectionAlignmentField = 32;
inline constexpr std::size_t kFileAlignmentField = 36;
inline constexpr std::size_t kSizeOfImageField = 56;
inline constexpr std::size_t kSizeOfHeadersField = 60;
inline constexpr std::size_t kChecksumField = 64;
// A section header (IMAGE_SECTION_HEADER): its name, sizes, places and characteristics.
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionNameSize = 8;
inline constexpr std::size_t kVirtualSizeField = 8;
inline constexpr std::size_t kVirtualAddressField = 12;
inline constexpr std::size_t kRawSizeField = 16;
inline constexpr std::size_t kRawOffsetField = 20;
inline constexpr std::size_t kCharacteristicsField = 36;

struct PeSection {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
    std::size_t headerOffset = 0;  // where its 40-byte header stands in the file
};

struct PeDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct PeHeaders {
    std::uint16_t machine = 0;
    bool pe32Plus = false;
    std::size_t optionalHeader = 0;  // file offset of the optional header
    std::size_t directory = 0;       // file offset of the data directory's first entry (format/K4PeImage.h)
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::vector<PeSection> sections;     // in the order of the section table
    std::vector<PeDirectory> directories;

    std::size_t ChecksumOffset() const { return optionalHeader + kChecksumField; }
    std::size_t DirectoryOffset(std::uint32_t index) const { return directory + index * peimage::DirectoryEntrySize; }
    // The section whose virtual range holds `rva`, or null.
    const PeSection* SectionAt(std::uint32_t rva) const;
    // The end of the last section's raw data: where an appended block begins.
    std::uint64_t RawEnd() const;
};

// Reads and checks the headers of a program image: "MZ" and "PE\0\0", an optional header of
// a known kind, alignments that are powers of two, a section table inside the headers,
// sections in ascending, non-overlapping virtual order whose raw data lies in the image, and
// SizeOfImage covering the last section. Throws PackError saying what is wrong.
PeHeaders ReadPeHeaders(std::span<const std::uint8_t> image);

// The PE checksum of a file as the system's image checksum defines it: the 16-bit one's
// complement sum of the file's little-endian words, the checksum field counted as zero,
// plus the file's length. Fed in pieces, so a file can be summed while it is written.
class PeChecksum : public ByteSink {
public:
    explicit PeChecksum(std::uint64_t checksumOffset) : field_(checksumOffset) {}
    void Write(std::span<const std::uint8_t> bytes) override;
    std::uint32_t Value() const;

private:
    void AddWord(std::uint32_t word);

    std::uint64_t field_;
    std::uint64_t position_ = 0;
    std::uint32_t sum_ = 0;
    int pendingLow_ = -1;  // a byte at an even offset waiting for its high half
};

inline void StoreLe32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
    le::Write32(out.subspan(at, 4).data(), value);
}

}  // namespace k4pack

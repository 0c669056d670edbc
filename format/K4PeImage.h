// Where a self-extractor's payload ends: the PE facts it is found by (the certificate
// table that signing appends, named by the security entry of the data directory) and
// the search for the trailer in front of that table; the walk to the optional header
// and its data directory, which the packer's reading of a whole program builds on. Read defensively through the
// read-at interface: every offset is checked against the file's size before it is
// read. Platform-free: the extractor finds its own payload with it, the packer checks
// the files it writes and reads.
#pragma once
#include <cstdint>
#include <optional>
#include "K4CabFormat.h"

namespace peimage {

// The PE headers' fields this system reads, by their offsets. IMAGE_DOS_HEADER begins
// with "MZ" and holds e_lfanew, where "PE\0\0" and the 20-byte IMAGE_FILE_HEADER stand.
inline constexpr unsigned char DosSignature[2] = {'M', 'Z'};
inline constexpr unsigned char PeSignature[4] = {'P', 'E', 0, 0};
inline constexpr std::uint64_t PeOffsetField = 0x3C;
inline constexpr std::uint64_t FileHeaderSize = 20;
inline constexpr std::uint64_t SignatureAndFileHeaderSize = sizeof PeSignature + FileHeaderSize;
// From "PE\0\0": the machine, the number of sections, the optional header's size.
inline constexpr std::uint64_t MachineField = 4;
inline constexpr std::uint64_t SectionCountField = 4 + 2;
inline constexpr std::uint64_t OptionalHeaderSizeField = 4 + 16;
// The optional header's magic, and where its data directory's count stands in each kind
// (the directory follows the count).
inline constexpr std::uint16_t Pe32Magic = 0x10B;
inline constexpr std::uint16_t Pe32PlusMagic = 0x20B;
inline constexpr std::uint64_t Pe32CountField = 92;
inline constexpr std::uint64_t Pe32PlusCountField = 108;
inline constexpr std::uint64_t DirectoryEntrySize = 8;
inline constexpr std::uint32_t SecurityDirectoryIndex = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY

// Signing puts the certificate table on an 8-byte boundary, with up to 7 zero bytes
// in front of it.
inline constexpr std::uint64_t CertificateTableAlignment = 8;

// The security entry's "address" is a file offset, not a virtual address.
struct CertificateTable {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct SecurityEntry {
    CertificateTable table;        // as the headers give it; either field may be 0
    std::uint64_t headersEnd = 0;  // the end of the optional header
};

// Where "PE\0\0" stands: e_lfanew at 0x3C behind "MZ" names it, and the signature
// and the 20-byte file header fit inside the file. Nothing otherwise.
std::optional<std::uint64_t> PeHeaderOffset(cabfmt::ReadAt& file);

// The optional header as the file header places it, and where its data directory is.
struct OptionalHeader {
    std::uint64_t offset = 0;        // where the optional header starts
    std::uint32_t size = 0;          // SizeOfOptionalHeader, inside the file
    bool pe32Plus = false;
    std::uint32_t directoryCount = 0;  // NumberOfRvaAndSizes as stored
    // Where data directory entry `index` stands, from the optional header's start, and in
    // the file.
    std::uint32_t EntryField(std::uint32_t index) const {
        return (pe32Plus ? Pe32PlusCountField : Pe32CountField) + 4 + index * DirectoryEntrySize;
    }
    std::uint64_t EntryOffset(std::uint32_t index) const { return offset + EntryField(index); }
    std::uint64_t End() const { return offset + size; }
};
// Why the headers lead to no optional header with a directory.
enum class HeaderFault { None, NotPe, OutsideFile, UnknownKind, NoDirectoryCount };
// Walks from "MZ" to the optional header: "PE\0\0" where PeHeaderOffset finds it, an
// optional header inside the file, of a known kind (PE32 or PE32+), long enough to hold
// the data directory's count; `header` is filled as far as the walk goes.
HeaderFault WalkHeaders(cabfmt::ReadAt& file, OptionalHeader& header);

// A data directory entry; the security entry's address is a file offset, every other
// entry's a virtual address.
struct DirectoryEntry {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};
// Reads entry `index` into `entry` when the header counts it and it lies inside the
// optional header; false otherwise.
bool ReadDirectoryEntry(cabfmt::ReadAt& file, const OptionalHeader& header, std::uint32_t index,
                        DirectoryEntry& entry);

// The security directory entry, when the headers are consistent: an optional header
// of a known kind (PE32 or PE32+) inside the file, long enough to hold the entry,
// and a directory that counts it.
std::optional<SecurityEntry> ReadSecurityEntry(cabfmt::ReadAt& file);

// The certificate table behind everything else in the file: named by the security
// entry, starting after the headers, ending exactly at the end of the file, its first
// certificate inside it. Anything else counts as unsigned.
std::optional<CertificateTable> FindCertificateTable(cabfmt::ReadAt& file);

// Whether a trailer ending at `end` describes a sound block (K4PayloadBlock.h) whose
// texts are followed by a cabinet's signature.
bool BlockLeadsToCabinet(cabfmt::ReadAt& file, std::uint64_t end);

// Where a trailer in front of this certificate table ends: right before it, or
// before up to 7 zero bytes in front of it, wherever a trailer there leads to a
// cabinet; nothing when none does.
std::optional<std::uint64_t> TrailerEndBefore(cabfmt::ReadAt& file, const CertificateTable& table);

// Where the trailer ends: as TrailerEndBefore finds it for a signed file, otherwise
// at the end of the file.
std::uint64_t PayloadEnd(cabfmt::ReadAt& file);

}  // namespace peimage

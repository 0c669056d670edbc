// The PE headers read down to the security directory entry, and the trailer search.
#include "K4PeImage.h"
#include <cstring>

namespace peimage {

namespace {

// IMAGE_DOS_HEADER.e_lfanew, then "PE\0\0" and the 20-byte IMAGE_FILE_HEADER, whose
// SizeOfOptionalHeader lies at offset 16.
constexpr std::uint64_t PeOffsetField = 0x3C;
constexpr std::uint64_t SignatureAndFileHeaderSize = 4 + 20;
constexpr std::uint64_t OptionalHeaderSizeField = 4 + 16;
constexpr std::uint32_t Pe32Magic = 0x10B;
constexpr std::uint32_t Pe32PlusMagic = 0x20B;
// NumberOfRvaAndSizes, followed by the directory, in PE32 and PE32+ optional headers.
constexpr std::uint64_t Pe32CountField = 92;
constexpr std::uint64_t Pe32PlusCountField = 108;
constexpr std::uint32_t SecurityDirectoryIndex = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
constexpr std::uint64_t DirectoryEntrySize = 8;
// The longest optional header prefix read: up to the end of the security entry.
constexpr std::size_t OptionalPrefixSize = Pe32PlusCountField + 4 + (SecurityDirectoryIndex + 1) * DirectoryEntrySize;
// WIN_CERTIFICATE: dwLength, wRevision, wCertificateType.
constexpr std::uint64_t CertificateHeaderSize = 8;

std::uint32_t Le16(const unsigned char* bytes) { return bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8; }
std::uint32_t Le32(const unsigned char* bytes) { return Le16(bytes) | Le16(bytes + 2) << 16; }

}  // namespace

std::optional<std::uint64_t> PeHeaderOffset(cabfmt::ReadAt& file) {
    unsigned char raw[4];
    if (!file.Read(0, raw, 2) || raw[0] != 'M' || raw[1] != 'Z') return std::nullopt;
    if (!file.Read(PeOffsetField, raw, 4)) return std::nullopt;
    const std::uint64_t pe = Le32(raw);
    const std::uint64_t size = file.Size();
    if (size < SignatureAndFileHeaderSize || pe > size - SignatureAndFileHeaderSize) return std::nullopt;
    if (!file.Read(pe, raw, 4) || std::memcmp(raw, "PE\0\0", 4) != 0) return std::nullopt;
    return pe;
}

std::optional<SecurityEntry> ReadSecurityEntry(cabfmt::ReadAt& file) {
    const std::optional<std::uint64_t> pe = PeHeaderOffset(file);
    unsigned char raw[OptionalPrefixSize];
    if (!pe || !file.Read(*pe, raw, SignatureAndFileHeaderSize)) return std::nullopt;
    const std::uint64_t optionalSize = Le16(raw + OptionalHeaderSizeField);
    const std::uint64_t optional = *pe + SignatureAndFileHeaderSize;
    if (optionalSize < 2 || optionalSize > file.Size() - optional || !file.Read(optional, raw, 2)) return std::nullopt;
    // PE32 (the 32-bit program) and PE32+ differ in where the directory begins.
    const std::uint32_t magic = Le16(raw);
    if (magic != Pe32Magic && magic != Pe32PlusMagic) return std::nullopt;
    const std::uint64_t countField = magic == Pe32Magic ? Pe32CountField : Pe32PlusCountField;
    const std::uint64_t entry = countField + 4 + SecurityDirectoryIndex * DirectoryEntrySize;
    if (entry + DirectoryEntrySize > optionalSize) return std::nullopt;
    if (!file.Read(optional, raw, entry + DirectoryEntrySize)) return std::nullopt;
    if (Le32(raw + countField) <= SecurityDirectoryIndex) return std::nullopt;
    SecurityEntry result;
    result.table.offset = Le32(raw + entry);
    result.table.size = Le32(raw + entry + 4);
    result.headersEnd = optional + optionalSize;
    return result;
}

std::optional<CertificateTable> FindCertificateTable(cabfmt::ReadAt& file) {
    const std::optional<SecurityEntry> entry = ReadSecurityEntry(file);
    if (!entry) return std::nullopt;
    const CertificateTable& table = entry->table;
    // Offset and size are 32-bit fields: their sum cannot wrap in 64 bits.
    if (table.offset < entry->headersEnd || table.size < CertificateHeaderSize ||
        table.offset + table.size != file.Size())
        return std::nullopt;
    unsigned char raw[4];
    if (!file.Read(table.offset, raw, 4)) return std::nullopt;
    const std::uint64_t firstLength = Le32(raw);
    if (firstLength < CertificateHeaderSize || firstLength > table.size) return std::nullopt;
    return table;
}

bool BlockLeadsToCabinet(cabfmt::ReadAt& file, std::uint64_t end) {
    unsigned char raw[4];
    if (end < TrailerSize || !file.Read(end - TrailerSize, raw, 4)) return false;
    const std::uint64_t trailerStart = end - TrailerSize;
    const auto blockLength = static_cast<std::int32_t>(Le32(raw));
    if (blockLength < 0 || static_cast<std::uint64_t>(blockLength) > trailerStart) return false;
    std::uint64_t position = trailerStart - static_cast<std::uint64_t>(blockLength);
    for (int text = 0; text < 3; ++text) {
        if (position + 4 > trailerStart || !file.Read(position, raw, 4)) return false;
        const auto length = static_cast<std::int32_t>(Le32(raw));
        if (length > MaxTextLength) return false;
        position += 4 + static_cast<std::uint64_t>(length > 0 ? length : 0);
    }
    return position + 4 <= trailerStart && file.Read(position, raw, 4) && std::memcmp(raw, "MSCF", 4) == 0;
}

std::optional<std::uint64_t> TrailerEndBefore(cabfmt::ReadAt& file, const CertificateTable& table) {
    for (std::uint64_t skipped = 0; skipped < CertificateTableAlignment && skipped + TrailerSize <= table.offset; ++skipped) {
        const std::uint64_t end = table.offset - skipped;
        // Each further candidate skips one more byte, which signing only ever fills with zero.
        unsigned char byte = 0;
        if (skipped > 0 && (!file.Read(end, &byte, 1) || byte != 0)) break;
        if (BlockLeadsToCabinet(file, end)) return end;
    }
    return std::nullopt;
}

std::uint64_t PayloadEnd(cabfmt::ReadAt& file) {
    const std::optional<CertificateTable> table = FindCertificateTable(file);
    const std::optional<std::uint64_t> end = table ? TrailerEndBefore(file, *table) : std::nullopt;
    return end ? *end : file.Size();
}

}  // namespace peimage

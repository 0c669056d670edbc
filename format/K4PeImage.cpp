// The PE headers read down to the security directory entry, and the trailer search.
#include "K4PeImage.h"
#include <cstring>
#include "K4LittleEndian.h"
#include "K4PayloadBlock.h"

namespace peimage {

namespace {

// The longest optional header prefix read: up to the end of the security entry.
constexpr std::size_t OptionalPrefixSize = Pe32PlusCountField + 4 + (SecurityDirectoryIndex + 1) * DirectoryEntrySize;
// WIN_CERTIFICATE: dwLength, wRevision, wCertificateType.
constexpr std::uint64_t CertificateHeaderSize = 8;

using le::Read16;
using le::Read32;

}  // namespace

std::optional<std::uint64_t> PeHeaderOffset(cabfmt::ReadAt& file) {
    unsigned char raw[4];
    if (!file.Read(0, raw, sizeof DosSignature) || std::memcmp(raw, DosSignature, sizeof DosSignature) != 0)
        return std::nullopt;
    if (!file.Read(PeOffsetField, raw, 4)) return std::nullopt;
    const std::uint64_t pe = Read32(raw);
    const std::uint64_t size = file.Size();
    if (size < SignatureAndFileHeaderSize || pe > size - SignatureAndFileHeaderSize) return std::nullopt;
    if (!file.Read(pe, raw, 4) || std::memcmp(raw, PeSignature, sizeof PeSignature) != 0) return std::nullopt;
    return pe;
}

std::optional<SecurityEntry> ReadSecurityEntry(cabfmt::ReadAt& file) {
    const std::optional<std::uint64_t> pe = PeHeaderOffset(file);
    unsigned char raw[OptionalPrefixSize];
    if (!pe || !file.Read(*pe, raw, SignatureAndFileHeaderSize)) return std::nullopt;
    const std::uint64_t optionalSize = Read16(raw + OptionalHeaderSizeField);
    const std::uint64_t optional = *pe + SignatureAndFileHeaderSize;
    if (optionalSize < 2 || optionalSize > file.Size() - optional || !file.Read(optional, raw, 2)) return std::nullopt;
    // PE32 (the 32-bit program) and PE32+ differ in where the directory begins.
    const std::uint32_t magic = Read16(raw);
    if (magic != Pe32Magic && magic != Pe32PlusMagic) return std::nullopt;
    const std::uint64_t countField = magic == Pe32Magic ? Pe32CountField : Pe32PlusCountField;
    const std::uint64_t entry = countField + 4 + SecurityDirectoryIndex * DirectoryEntrySize;
    if (entry + DirectoryEntrySize > optionalSize) return std::nullopt;
    if (!file.Read(optional, raw, entry + DirectoryEntrySize)) return std::nullopt;
    if (Read32(raw + countField) <= SecurityDirectoryIndex) return std::nullopt;
    SecurityEntry result;
    result.table.offset = Read32(raw + entry);
    result.table.size = Read32(raw + entry + 4);
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
    const std::uint64_t firstLength = Read32(raw);
    if (firstLength < CertificateHeaderSize || firstLength > table.size) return std::nullopt;
    return table;
}

bool BlockLeadsToCabinet(cabfmt::ReadAt& file, std::uint64_t end) {
    const payloadblock::Block block = payloadblock::ReadBlock(file, end);
    return block.Sound() && block.signature;
}

std::optional<std::uint64_t> TrailerEndBefore(cabfmt::ReadAt& file, const CertificateTable& table) {
    for (std::uint64_t skipped = 0;
         skipped < CertificateTableAlignment && skipped + payloadblock::TrailerSize <= table.offset; ++skipped) {
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

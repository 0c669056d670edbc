// The PE headers walked to the optional header and its data directory (the security
// entry for the extractor, every entry for the packer), and the trailer search.
#include "K4PeImage.h"
#include <cstring>
#include "K4LittleEndian.h"
#include "K4PayloadBlock.h"

namespace peimage {

namespace {

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

HeaderWalk WalkHeaders(cabfmt::ReadAt& file) {
    HeaderWalk walk;
    OptionalHeader& h = walk.optional;
    const std::optional<std::uint64_t> pe = PeHeaderOffset(file);
    unsigned char raw[4];
    // PeHeaderOffset saw the file header fit.
    if (!pe || !file.Read(*pe + OptionalHeaderSizeField, raw, 2)) return walk;
    h.pe = *pe;
    h.offset = *pe + SignatureAndFileHeaderSize;
    h.size = Read16(raw);
    walk.fault = HeaderFault::OutsideFile;
    if (h.size > file.Size() - h.offset) return walk;
    walk.fault = HeaderFault::UnknownKind;
    if (h.size < 2 || !file.Read(h.offset, raw, 2)) return walk;
    // PE32 (the 32-bit program) and PE32+ differ in where the directory begins.
    const std::uint32_t magic = Read16(raw);
    if (magic != Pe32Magic && magic != Pe32PlusMagic) return walk;
    h.pe32Plus = magic == Pe32PlusMagic;
    walk.fault = HeaderFault::NoDirectoryCount;
    const std::uint64_t countField = h.EntryOffset(0) - 4;
    if (countField + 4 > h.End() || !file.Read(countField, raw, 4)) return walk;
    h.directoryCount = Read32(raw);
    walk.fault = HeaderFault::None;
    return walk;
}

std::optional<DirectoryEntry> ReadDirectoryEntry(cabfmt::ReadAt& file, const OptionalHeader& header,
                                                 std::uint32_t index) {
    const std::uint64_t at = header.EntryOffset(index);
    unsigned char raw[DirectoryEntrySize];
    if (index >= header.directoryCount || at + DirectoryEntrySize > header.End() ||
        !file.Read(at, raw, DirectoryEntrySize))
        return std::nullopt;
    return DirectoryEntry{Read32(raw), Read32(raw + 4)};
}

std::optional<SecurityEntry> ReadSecurityEntry(cabfmt::ReadAt& file) {
    const HeaderWalk walk = WalkHeaders(file);
    if (walk.fault != HeaderFault::None) return std::nullopt;
    const std::optional<DirectoryEntry> entry = ReadDirectoryEntry(file, walk.optional, SecurityDirectoryIndex);
    if (!entry) return std::nullopt;
    SecurityEntry result;
    result.table.offset = entry->address;
    result.table.size = entry->size;
    result.headersEnd = walk.optional.End();
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

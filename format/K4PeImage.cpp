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

HeaderFault WalkHeaders(cabfmt::ReadAt& file, OptionalHeader& h) {
    const std::optional<std::uint64_t> pe = PeHeaderOffset(file);
    unsigned char raw[4];
    // PeHeaderOffset saw the file header fit.
    if (!pe || !file.Read(*pe + OptionalHeaderSizeField, raw, 2)) return HeaderFault::NotPe;
    h.offset = *pe + SignatureAndFileHeaderSize;
    h.size = Read16(raw);
    if (h.size > file.Size() - h.offset) return HeaderFault::OutsideFile;
    if (!file.Read(h.offset, raw, 2)) return HeaderFault::UnknownKind;
    // PE32 (the 32-bit program) and PE32+ differ in where the directory begins.
    const std::uint32_t magic = Read16(raw);
    if (magic != Pe32Magic && magic != Pe32PlusMagic) return HeaderFault::UnknownKind;
    h.pe32Plus = magic == Pe32PlusMagic;
    // Also where a header shorter than its magic ends (the magic was read behind it).
    if (h.EntryField(0) > h.size || !file.Read(h.EntryOffset(0) - 4, raw, 4)) return HeaderFault::NoDirectoryCount;
    h.directoryCount = Read32(raw);
    return HeaderFault::None;
}

bool ReadDirectoryEntry(cabfmt::ReadAt& file, const OptionalHeader& header, std::uint32_t index,
                        DirectoryEntry& entry) {
    unsigned char raw[DirectoryEntrySize];
    if (index >= header.directoryCount || header.EntryField(index + 1) > header.size ||
        !file.Read(header.EntryOffset(index), raw, DirectoryEntrySize))
        return false;
    entry = {Read32(raw), Read32(raw + 4)};
    return true;
}

std::optional<SecurityEntry> ReadSecurityEntry(cabfmt::ReadAt& file) {
    OptionalHeader header;
    if (WalkHeaders(file, header) != HeaderFault::None) return std::nullopt;
    DirectoryEntry entry;
    if (!ReadDirectoryEntry(file, header, SecurityDirectoryIndex, entry)) return std::nullopt;
    SecurityEntry result;
    result.table.offset = entry.address;
    result.table.size = entry.size;
    result.headersEnd = header.End();
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

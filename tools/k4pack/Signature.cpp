// Defensive reading of the PE headers down to the security directory entry: every offset is
// checked against the file's size before it is read.
#include "Signature.h"

#include <array>

namespace k4pack {
namespace {

// IMAGE_DOS_HEADER.e_lfanew, then "PE\0\0" and the 20-byte IMAGE_FILE_HEADER, whose
// SizeOfOptionalHeader lies at offset 16.
constexpr std::uint64_t kPeOffsetField = 0x3C;
constexpr std::uint64_t kSignatureAndFileHeaderSize = 4 + 20;
constexpr std::uint64_t kOptionalHeaderSizeField = 4 + 16;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// NumberOfRvaAndSizes, followed by the directory, in PE32 and PE32+ optional headers.
constexpr std::uint64_t kPe32CountField = 92;
constexpr std::uint64_t kPe32PlusCountField = 108;
constexpr std::uint32_t kSecurityDirectoryIndex = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
constexpr std::uint64_t kDirectoryEntrySize = 8;
// WIN_CERTIFICATE: dwLength, wRevision, wCertificateType.
constexpr std::uint64_t kCertificateHeaderSize = 8;

// The entry and where the headers end, when the headers hold one.
struct SecurityEntry {
    CertificateTable table;
    std::uint64_t headersEnd = 0;
};

std::optional<SecurityEntry> ReadSecurityEntry(const ByteSource& file) {
    const std::uint64_t size = file.Size();
    std::array<std::uint8_t, kPe32PlusCountField + 4 + 5 * kDirectoryEntrySize> raw{};
    if (size < kPeOffsetField + 4) return std::nullopt;
    file.ReadAt(0, std::span(raw.data(), 2));
    if (raw[0] != 'M' || raw[1] != 'Z') return std::nullopt;
    file.ReadAt(kPeOffsetField, std::span(raw.data(), 4));
    const std::uint64_t pe = LoadLe32(raw.data());
    if (pe > size - kSignatureAndFileHeaderSize) return std::nullopt;
    file.ReadAt(pe, std::span(raw.data(), kSignatureAndFileHeaderSize));
    if (LoadLe32(raw.data()) != LoadLe32(reinterpret_cast<const std::uint8_t*>("PE\0\0")))
        return std::nullopt;
    const std::uint64_t optionalSize = LoadLe16(raw.data() + kOptionalHeaderSizeField);
    const std::uint64_t optional = pe + kSignatureAndFileHeaderSize;
    if (optionalSize < 2 || optionalSize > size - optional) return std::nullopt;
    file.ReadAt(optional, std::span(raw.data(), 2));
    const std::uint16_t magic = LoadLe16(raw.data());
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
    const std::uint64_t countField = magic == kPe32Magic ? kPe32CountField : kPe32PlusCountField;
    const std::uint64_t entry = countField + 4 + kSecurityDirectoryIndex * kDirectoryEntrySize;
    if (entry + kDirectoryEntrySize > optionalSize) return std::nullopt;
    file.ReadAt(optional, std::span(raw.data(), entry + kDirectoryEntrySize));
    if (LoadLe32(raw.data() + countField) <= kSecurityDirectoryIndex) return std::nullopt;
    SecurityEntry result;
    result.table.offset = LoadLe32(raw.data() + entry);
    result.table.size = LoadLe32(raw.data() + entry + 4);
    result.headersEnd = optional + optionalSize;
    return result;
}

}  // namespace

std::optional<CertificateTable> ReadSecurityDirectory(const ByteSource& file) {
    const std::optional<SecurityEntry> entry = ReadSecurityEntry(file);
    if (!entry) return std::nullopt;
    return entry->table;
}

std::optional<CertificateTable> FindCertificateTable(const ByteSource& file) {
    const std::optional<SecurityEntry> entry = ReadSecurityEntry(file);
    if (!entry) return std::nullopt;
    const CertificateTable& table = entry->table;
    // Offset and size are 32-bit fields: their sum cannot wrap in 64 bits.
    if (table.offset < entry->headersEnd || table.size < kCertificateHeaderSize ||
        table.offset + table.size != file.Size())
        return std::nullopt;
    std::array<std::uint8_t, 4> length{};
    file.ReadAt(table.offset, length);
    const std::uint64_t firstLength = LoadLe32(length.data());
    if (firstLength < kCertificateHeaderSize || firstLength > table.size) return std::nullopt;
    return table;
}

std::optional<std::uint16_t> ReadPeMachine(const ByteSource& file) {
    std::array<std::uint8_t, 6> raw{};
    if (file.Size() < kPeOffsetField + 4) return std::nullopt;
    file.ReadAt(0, std::span(raw.data(), 2));
    if (raw[0] != 'M' || raw[1] != 'Z') return std::nullopt;
    file.ReadAt(kPeOffsetField, std::span(raw.data(), 4));
    const std::uint64_t pe = LoadLe32(raw.data());
    if (pe > file.Size() - raw.size()) return std::nullopt;
    file.ReadAt(pe, raw);
    if (LoadLe32(raw.data()) != LoadLe32(reinterpret_cast<const std::uint8_t*>("PE\0\0")))
        return std::nullopt;
    return LoadLe16(raw.data() + 4);
}

const char* PeMachineName(std::optional<std::uint16_t> machine) {
    if (machine == 0x014C) return "i686";
    if (machine == 0x8664) return "x86_64";
    return "unknown";
}

}  // namespace k4pack

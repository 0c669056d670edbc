// Hand-made PE images for the signature tests, shared by the packer's tests and the
// extractor's: headers down to the data directory (PE32 or PE32+), and signing imitated by
// appending zero bytes and a certificate table that the security directory entry names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "LeBytes.h"

namespace signedimage {

enum class PeKind { Pe32, Pe32Plus };

// Where the hand-made headers put things: the PE header at 0x80, the optional header after
// the signature and the 20-byte file header, 16 directory entries of 8 bytes.
inline constexpr std::size_t kPeHeader = 0x80;
inline constexpr std::size_t kOptionalHeader = kPeHeader + 24;
inline constexpr std::size_t kSizeOfOptionalHeaderField = kPeHeader + 4 + 16;

inline std::size_t CountField(PeKind kind) { return kOptionalHeader + (kind == PeKind::Pe32 ? 92 : 108); }
inline std::size_t SecurityEntry(PeKind kind) { return CountField(kind) + 4 + 4 * 8; }
inline std::size_t OptionalHeaderSize(PeKind kind) { return kind == PeKind::Pe32 ? 224 : 240; }

// An image of `size` bytes: "MZ", e_lfanew, "PE\0\0", a file header whose optional header
// holds 16 empty directory entries, then filler that ends in zero bytes (as programs do).
inline std::string Image(PeKind kind, std::size_t size = 0x400) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 64 < size; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    k4test::PutLe(bytes, 0x3C, kPeHeader);
    bytes.replace(kPeHeader, 4, std::string("PE\0\0", 4));
    k4test::PutLe(bytes, kSizeOfOptionalHeaderField, static_cast<std::uint32_t>(OptionalHeaderSize(kind)), 2);
    k4test::PutLe(bytes, kOptionalHeader, kind == PeKind::Pe32 ? 0x10B : 0x20B, 2);
    k4test::PutLe(bytes, CountField(kind), 16);
    for (std::size_t i = 0; i < 16 * 8; ++i) bytes[CountField(kind) + 4 + i] = 0;
    return bytes;
}

inline void SetSecurityEntry(std::string& file, PeKind kind, std::uint32_t offset, std::uint32_t size) {
    k4test::PutLe(file, SecurityEntry(kind), offset);
    k4test::PutLe(file, SecurityEntry(kind) + 4, size);
}

// A certificate table of `size` bytes: one WIN_CERTIFICATE (its length, revision 2.0,
// PKCS#7 type) whose content is filler of 0xA5 bytes, so that its last 4 bytes read as a
// negative length.
inline std::string TableBytes(std::size_t size = 0x5A0) {
    std::string table(size, '\xA5');
    k4test::PutLe(table, 0, static_cast<std::uint32_t>(size));
    k4test::PutLe(table, 4, 0x0200, 2);
    k4test::PutLe(table, 6, 0x0002, 2);
    return table;
}

// Imitates signing: `inserted` zero bytes, then the table, named by the security entry.
inline std::string Signed(std::string file, PeKind kind, std::size_t inserted,
                          const std::string& table = TableBytes()) {
    file.append(inserted, '\0');
    SetSecurityEntry(file, kind, static_cast<std::uint32_t>(file.size()), static_cast<std::uint32_t>(table.size()));
    return file + table;
}

}  // namespace signedimage

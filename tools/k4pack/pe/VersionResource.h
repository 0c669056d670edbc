// The version resource (VS_VERSIONINFO) as a tree of blocks, each a key, a value and
// children: its fixed part (VS_FIXEDFILEINFO) and the strings of its string tables, read,
// changed and written back in the same layout.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace k4pack {

struct VersionNode {
    std::u16string key;
    std::uint16_t type = 0;           // 1: the value is text, 0: bytes
    std::vector<std::uint8_t> value;  // text as UTF-16LE, its terminating zero included
    std::vector<VersionNode> children;
};

using VersionNumber = std::array<std::uint16_t, 4>;

// Throws PackError when the blocks do not nest inside each other and the resource, or the
// root is not "VS_VERSION_INFO" with a fixed part.
VersionNode ParseVersionResource(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> EncodeVersionResource(const VersionNode& root);

// "a.b.c.d", each a decimal number up to 65535; nothing for any other text.
std::optional<VersionNumber> ParseVersionNumber(const std::string& text);
std::string VersionText(const VersionNumber& number);

// What a packer run changes: the fixed part's numbers and strings by name (UTF-8).
struct VersionChanges {
    std::optional<VersionNumber> fileVersion;
    std::optional<VersionNumber> productVersion;
    std::vector<std::pair<std::string, std::string>> strings;
};

// Sets the fixed part's versions and the strings in every string table the resource has
// (the program's language and code page), adding those it lacks. Throws PackError when it
// has no string table.
void ChangeVersion(VersionNode& root, const VersionChanges& changes);

// What the resource says: the fixed part's versions, the first string table's key
// ("040204E3": language and code page) and its strings in order, as UTF-8.
struct VersionReport {
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    std::string table;
    std::vector<std::pair<std::string, std::string>> strings;
};
VersionReport DescribeVersion(const VersionNode& root);

// The UTF-16 the resource stores for UTF-8 text (through WindowsText.h); throws PackError
// for bytes that are not UTF-8. Its texts are read back with ShownUtf16.
std::u16string ResourceUtf16(const std::string& text);

}  // namespace k4pack

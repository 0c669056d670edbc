// A program's resources as a flat list (type, name, language, data), read from and written
// to the resource directory tree that a PE resource section holds, and the program image
// rebuilt around a new resource section.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PeFile.h"

namespace k4pack {

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtGroupIcon = 14;
inline constexpr std::uint16_t kRtVersion = 16;
inline constexpr std::uint16_t kRtManifest = 24;

// A resource type or name: a number, or (when `text` is not empty) a UTF-16 name.
struct ResourceId {
    std::uint16_t number = 0;
    std::u16string text;

    bool operator==(const ResourceId&) const = default;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    std::vector<std::uint8_t> data;

    bool operator==(const Resource&) const = default;
};

// The section that holds the resource directory, or null when the program has none.
const PeSection* ResourceSection(const PeHeaders& pe);

// Every resource of the tree in `section` (whose first byte has the address `sectionRva`),
// in the tree's order. Throws PackError for a tree that leaves the section, loops, or
// names data outside it.
std::vector<Resource> ReadResourceTree(std::span<const std::uint8_t> section, std::uint32_t sectionRva);

// The program's resources; throws PackError when it has no resource section.
std::vector<Resource> ReadProgramResources(std::span<const std::uint8_t> image);

// A resource section for `resources` at `sectionRva`: the directory tables (named entries
// first, then numbers, each in ascending order as the system's binary search expects), the
// data entries, the names, then the data, each item on an 8-byte boundary. No time stamps.
std::vector<std::uint8_t> WriteResourceTree(const std::vector<Resource>& resources, std::uint32_t sectionRva);

// The program image with its resource section replaced by one holding `resources`: written
// in the section's place at its own address; sections behind it may only be the base
// relocations, moved up behind it. The section table, the resource and relocation
// directory entries, SizeOfImage and SizeOfInitializedData follow; every other byte and
// header flag stays. The checksum is the caller's (it covers the whole file).
std::vector<std::uint8_t> ReplaceResources(std::span<const std::uint8_t> image,
                                           const std::vector<Resource>& resources);

// The first resource of that type and number, or null.
const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t number);

}  // namespace k4pack

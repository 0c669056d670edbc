// A publisher's own icon, version information and requested execution level, written into
// the copy of the extractor program before the payload is appended; and the same read back
// from a program for inspect and verify.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pe/VersionResource.h"

namespace k4pack {

// One image of an icon: the .ico directory's description of it and its bytes (a DIB or a
// PNG). A width or height of 0 means 256.
struct IconImage {
    std::uint8_t width = 0;
    std::uint8_t height = 0;
    std::uint8_t colorCount = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::vector<std::uint8_t> data;
};

// Every image of an .ico file. Throws PackError saying why the bytes are not an icon file:
// no icon directory, no images, an image outside the file, or one neither a DIB nor a PNG.
std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> bytes);

inline constexpr const char* kExecutionLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

struct Branding {
    std::vector<IconImage> icon;  // empty: the program's own
    VersionChanges version;
    std::string executionLevel;   // empty: the program's own

    bool Any() const {
        return !icon.empty() || version.fileVersion || version.productVersion || !version.strings.empty() ||
               !executionLevel.empty();
    }
};

// The program image with the branding applied: icon group 1 and the icons it names replaced
// by the new images (icon ids no other icon uses), the version resource changed, the
// manifest's requestedExecutionLevel set. Throws PackError when the program lacks a
// resource the branding changes.
std::vector<std::uint8_t> ApplyBranding(std::span<const std::uint8_t> image, const Branding& branding);

// What a program's resources say, as inspect shows them.
struct IconEntry {
    unsigned width = 0;  // 256 for an entry of 0
    unsigned height = 0;
    unsigned bitCount = 0;
    std::size_t size = 0;
    std::uint16_t id = 0;
};
struct ProgramResources {
    std::vector<IconEntry> icon;              // icon group 1's images
    std::optional<VersionReport> version;
    std::string executionLevel;               // empty: no manifest, or none asked for
    std::vector<std::string> faults;          // resources the extractor needs, missing or broken
};

// Throws PackError when the image is not a sound PE file or has no resource section.
ProgramResources DescribeProgram(std::span<const std::uint8_t> image);

}  // namespace k4pack

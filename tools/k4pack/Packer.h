// Building a self-extractor: extractor program + payload block + trailer, written under a
// temporary name beside the output and renamed into place only when everything succeeded.
#pragma once
#include <string>
#include <vector>

#include "Bytes.h"
#include "Cabinet.h"
#include "PayloadLayout.h"

namespace k4pack {

struct PackRequest {
    std::string outputPath;
    std::string stubPath;
    PayloadTexts texts;
    std::vector<std::string> inputs;  // files and folders to pack, or
    std::string cabinetPath;          // an existing cabinet taken as is
    Compression compression = Compression::Mszip;
};

struct PackSummary {
    std::size_t files = 0;
    std::uint64_t cabinetSize = 0;
    std::uint64_t fileSize = 0;
};

// Checks everything that can be checked before writing (texts, stub, inputs and their
// names, sizes), then writes. Throws PackError; the output file is then left untouched.
PackSummary Pack(const PackRequest& request);

// Throws PackError unless `file` starts like a PE image: "MZ", and the offset at 0x3C
// pointing inside the file at "PE\0\0".
void CheckPortableExecutable(const ByteSource& file);

}  // namespace k4pack

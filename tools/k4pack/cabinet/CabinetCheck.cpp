// The shared cabinet check over a part of a file, with the extractor's name limits.
#include "CabinetCheck.h"

#include "ArchiveNames.h"

namespace k4pack {

cabfmt::Options ExtractorCheckOptions(std::string_view targetDirectory) {
    const std::size_t used = ExtractPrefix(targetDirectory).size();
    cabfmt::Options options;
    options.maxNameLength = used < kMaxExtractPath ? kMaxExtractPath - used : 0;
    options.maxUtfNameLength = options.maxNameLength;
    return options;
}

std::string CabinetCheckFault(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                              std::string_view targetDirectory) {
    const ByteRange cabinet(file, offset, size);
    SourceReadAt source(cabinet);
    const cabfmt::Result checked = cabfmt::Check(source, ExtractorCheckOptions(targetDirectory));
    return checked.Sound() ? std::string() : checked.text;
}

}  // namespace k4pack

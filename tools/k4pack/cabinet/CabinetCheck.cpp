// The shared cabinet check over a part of a file, with the extractor's name limits.
#include "CabinetCheck.h"

#include "ArchiveNames.h"

namespace k4pack {

cabfmt::Result CheckCabinet(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                            std::string_view targetDirectory) {
    const ByteRange cabinet(file, offset, size);
    SourceReadAt source(cabinet);
    return cabfmt::Check(source, ExtractorCheckOptions(targetDirectory));
}

std::string CabinetCheckFault(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                              std::string_view targetDirectory) {
    const cabfmt::Result checked = CheckCabinet(file, offset, size, targetDirectory);
    return checked.Sound() ? std::string() : checked.text;
}

}  // namespace k4pack

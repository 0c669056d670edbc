// The extractor's own cabinet check (cabfmt::Check: structure, names, every block and its
// decoding), run by the packer on a cabinet it is given to carry and on one it inspects,
// so that the packer refuses every cabinet the extractor would refuse.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Bytes.h"
#include "K4CabFormat.h"

namespace k4pack {

// The options the extractor checks names with under this target directory (text 1): a
// member's path, joined to the directory, within 255 characters.
cabfmt::Options ExtractorCheckOptions(std::string_view targetDirectory);

// The check of the `size` bytes of `file` from `offset`, as the extractor checks its
// temporary cabinet; an empty text when the cabinet is sound, otherwise what is wrong.
std::string CabinetCheckFault(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                              std::string_view targetDirectory);

}  // namespace k4pack

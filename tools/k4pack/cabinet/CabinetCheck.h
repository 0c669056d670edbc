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

// The check of the `size` bytes of `file` from `offset`, as the extractor checks its
// temporary cabinet with the names' limits under `targetDirectory` (text 1); the members
// it read when the cabinet is sound.
cabfmt::Result CheckCabinet(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                            std::string_view targetDirectory);

// The same check's verdict: an empty text when the cabinet is sound, otherwise what is wrong.
std::string CabinetCheckFault(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                              std::string_view targetDirectory);

}  // namespace k4pack

// Decompressing every member of a cabinet with the shared reader (K4CabReader.h), one
// finished file at a time, so that a check of the members needs room for one member only.
#pragma once
#include <functional>
#include <string>

#include "Cabinet.h"

namespace k4pack {

// Called with each member and the file that holds its decompressed bytes; the callee may
// remove the file.
using ExtractedMember = std::function<void(const CabinetEntry& entry, const std::string& file)>;

// Decompresses the cabinet file at `cabinetPath` into `folder`, every member under a
// private name ("m1", "m2", ...: the stored names never reach the file system), and hands
// each member to `visit` once its file is complete. Returns an empty text when every member
// was decompressed, otherwise what the reader found wrong, naming the member it was working
// on; the members after it are not visited. Throws PackError when the cabinet's tables
// cannot be read ("the cabinet cannot be read: ..."), and passes on what `visit` throws.
std::string ExtractEachMember(const std::string& cabinetPath, const std::string& folder,
                              const ExtractedMember& visit);

}  // namespace k4pack

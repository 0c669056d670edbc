// The cabinet engine's test seams: a replacement cabinet library, which lets a test
// stand for a system whose library cannot be loaded, and a replacement heap, which
// stands for an exhausted one. Read by the engine where it loads the library
// (k4cabstructs.cpp) and allocates (K4CabCallbacks.cpp); only tests set them,
// through K4CabSeams.cpp, which the extractor program never links.
#pragma once
#include <cstddef>

struct FdiEntryPoints;

// Makes the engine call `replacement` instead of Fdi()'s system library (null
// restores the system library).
void SetFdiEntryPointsForTests(const FdiEntryPoints* replacement);

// The heap CabAlloc takes blocks from (null restores std::malloc).
using CabHeapAllocFn = void* (*)(std::size_t);
void SetCabHeapAllocForTests(CabHeapAllocFn alloc);

namespace cab_seams {
extern const FdiEntryPoints* replacementFdi;  // null: the system's library
extern CabHeapAllocFn heapAlloc;              // std::malloc unless replaced
}  // namespace cab_seams

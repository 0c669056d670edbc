// The cabinet engine's test seams: a replacement cabinet library (k4cabstructs.h,
// UseFdiEntryPoints) and heap (K4CabCallbacks.h, SetCabHeapAlloc). Read by the
// engine where it loads the library and allocates; set by tests only, in
// K4CabSeams.cpp, a file of its own, which the extractor program never links.
#pragma once
#include "K4CabCallbacks.h"
#include "k4cabstructs.h"

namespace cab_seams {
extern const FdiEntryPoints* replacementFdi;  // null: the system's library
extern CabHeapAllocFn heapAlloc;              // std::malloc unless replaced
}  // namespace cab_seams

// Setting the cabinet engine's test seams: only tests do (K4CabSeams.h).
#include "K4CabSeams.h"
#include <cstdlib>

void UseFdiEntryPoints(const FdiEntryPoints* replacement) { cab_seams::replacementFdi = replacement; }

void SetCabHeapAlloc(CabHeapAllocFn alloc) { cab_seams::heapAlloc = alloc ? alloc : std::malloc; }

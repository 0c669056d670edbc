// Setting the cabinet engine's test seams: only tests do (K4CabSeams.h).
#include "K4CabSeams.h"
#include <cstdlib>

void SetFdiEntryPointsForTests(const FdiEntryPoints* replacement) { cab_seams::replacementFdi = replacement; }

void SetCabHeapAllocForTests(CabHeapAllocFn alloc) { cab_seams::heapAlloc = alloc ? alloc : std::malloc; }

// Loads the system cabinet library's decompression entry points.
#include "k4cabstructs.h"
#include "K4CabSeams.h"
#include "SystemLibrary.h"

FdiEntryPoints LoadFdiEntryPoints(const char* libraryName) {
    FdiEntryPoints fdi;
    fdi.Library = syslib::Load(libraryName);
    if (!fdi.Library) return fdi;
    // Only all four together are useful; a library missing one is treated as absent.
    fdi.FDICreate = syslib::Proc<PFNFDICREATE>(fdi.Library, "FDICreate");
    fdi.FDIIsCabinet = syslib::Proc<PFNFDIISCABINET>(fdi.Library, "FDIIsCabinet");
    fdi.FDICopy = syslib::Proc<PFNFDICOPY>(fdi.Library, "FDICopy");
    fdi.FDIDestroy = syslib::Proc<PFNFDIDESTROY>(fdi.Library, "FDIDestroy");
    if (!fdi.Complete()) fdi = FdiEntryPoints{};
    return fdi;
}

const FdiEntryPoints* cab_seams::replacementFdi = nullptr;

const FdiEntryPoints& Fdi() {
    if (cab_seams::replacementFdi) return *cab_seams::replacementFdi;
    static const FdiEntryPoints systemFdi = LoadFdiEntryPoints("cabinet.dll");
    return systemFdi;
}

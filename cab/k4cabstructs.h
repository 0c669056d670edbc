// The system cabinet library's records, constants and function types under their
// SDK names, and its four decompression entry points loaded at run time.
#pragma once
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include "UniqueHandle.h"

// Entry point types of the decompression interface; every one uses the SDK's
// calling convention (cdecl on i686).
using PFNFDICREATE = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE,
                                       PFNSEEK, int cpuType, PERF perf);
using PFNFDIISCABINET = BOOL(DIAMONDAPI*)(HFDI, INT_PTR hf, PFDICABINETINFO pfdici);
using PFNFDICOPY = BOOL(DIAMONDAPI*)(HFDI, char* pszCabinet, char* pszCabPath, int flags,
                                     PFNFDINOTIFY pfnfdin, PFNFDIDECRYPT pfnfdid, void* pvUser);
using PFNFDIDESTROY = BOOL(DIAMONDAPI*)(HFDI);

// The loaded library and its entry points; an entry point is null when the library
// or the name was not found. The library is never linked and never found through
// the default search order: a planted cabinet.dll beside the program must not load.
struct FdiEntryPoints {
    UniqueModule Library;
    PFNFDICREATE FDICreate = nullptr;
    PFNFDIISCABINET FDIIsCabinet = nullptr;
    PFNFDICOPY FDICopy = nullptr;
    PFNFDIDESTROY FDIDestroy = nullptr;

    bool Complete() const { return FDICreate && FDIIsCabinet && FDICopy && FDIDestroy; }
};

// Loads the named library from the system folder and looks up the four entry points.
FdiEntryPoints LoadFdiEntryPoints(const char* libraryName);

// The entry points the engine calls: "cabinet.dll" from the system folder, loaded on
// first use and kept for the life of the process, unless a test replaced them
// (K4CabSeams.h).
const FdiEntryPoints& Fdi();

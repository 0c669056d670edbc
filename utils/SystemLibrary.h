// Loads libraries from the system folder only. A self-extractor usually runs from a
// downloads folder, where a planted DLL of the same name must never be picked up.
#pragma once
#include <string>
#include "UniqueHandle.h"

namespace syslib {

// Restricts the process's DLL search to the system folder where the system offers it
// (SetDefaultDllDirectories, found at run time); false where it is absent or refused.
bool RestrictDllSearchToSystem32();

// LoadLibraryExA's shape: the seam through which tests stand in for an older system.
using LoadLibraryExFn = HMODULE(WINAPI*)(LPCSTR, HANDLE, DWORD);

// The named library from the system folder, or an empty owner (GetLastError says why).
UniqueModule Load(const char* name);
// The same through the given loader, which plays LoadLibraryExA.
UniqueModule Load(const char* name, LoadLibraryExFn loadEx);

// The system folder joined with the name ("C:\Windows\system32\cabinet.dll"), or empty
// (GetLastError says why) when the system folder cannot be had.
std::string SystemFolderPath(const char* name);

// The named entry point of a loaded module as a function pointer of type F, or null.
template <class F>
F Proc(const UniqueModule& module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
}

}  // namespace syslib

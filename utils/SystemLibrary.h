// Loads libraries from the system folder only. A self-extractor usually runs from a
// downloads folder, where a planted DLL of the same name must never be picked up.
#pragma once
#include "UniqueHandle.h"

namespace syslib {

// Restricts the process's DLL search to the system folder (where the system offers it).
void RestrictDllSearchToSystem32();

// The named library from the system folder, or an empty owner (GetLastError says why).
UniqueModule Load(const char* name);

// The named entry point of a loaded module as a function pointer of type F, or null.
template <class F>
F Proc(const UniqueModule& module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
}

}  // namespace syslib

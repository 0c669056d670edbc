// Loads libraries from the system folder only.
#include "SystemLibrary.h"

namespace syslib {

void RestrictDllSearchToSystem32() {
    // Looked up at run time: SetDefaultDllDirectories is missing on systems
    // without the KB2533623 update, where the explicit flag below still applies.
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDirs = reinterpret_cast<SetDirsFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirs) setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UniqueModule Load(const char* name) {
    return UniqueModule(LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace syslib

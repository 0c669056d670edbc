// Loads libraries from the system folder only, on every Windows from 7 SP1 on.
#include "SystemLibrary.h"

namespace syslib {

bool RestrictDllSearchToSystem32() {
    // Looked up at run time: Windows 7 without update KB2533623 lacks it, and the
    // program must still start there (Load then names the system folder itself).
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDirs = reinterpret_cast<SetDirsFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDirs && setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::string SystemFolderPath(const char* name) {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0) return {};
    if (length >= MAX_PATH) {  // the folder needs a larger buffer than a path may have
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    path += name;
    return path;
}

UniqueModule Load(const char* name) { return Load(name, LoadLibraryExA); }

UniqueModule Load(const char* name, LoadLibraryExFn loadEx) {
    HMODULE module = loadEx(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return UniqueModule(module);
    // Windows 7 without update KB2533623 knows no search flags and refuses them with
    // ERROR_INVALID_PARAMETER. A full path is then taken as it is; the altered search
    // path makes the library's own imports start from the system folder too.
    std::string path = SystemFolderPath(name);
    if (path.empty()) return UniqueModule();
    return UniqueModule(loadEx(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace syslib

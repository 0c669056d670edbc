// Paths as the system resolves and compares them.
#include "K4Paths.h"
#include <windows.h>

std::wstring FullPathOf(const std::wstring& path) {
    if (path.empty()) return path;
    // Called for every member: one call fits the usual path; a longer one is
    // answered with the size it needs and asked again.
    std::wstring full(MAX_PATH, L'\0');
    DWORD written = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (written >= full.size()) {
        full.assign(written, L'\0');
        written = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (written == 0 || written >= full.size()) return path;
    full.resize(written);
    return full;
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The build line of the about window, read from a file's version resource through
// the version library loaded from the system folder.
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "K4_About.h"
#include "K4Files.h"
#include "SystemLibrary.h"

const char* const VersionInfoKeys[10] = {
    "CompanyName", "FileDescription", "FileVersion",     "InternalName",   "LegalCopyright",
    "LegalTradeMarks", "OriginalFileName", "ProductName", "ProductVersion", "Comments",
};

namespace {

using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// Only the US English table with code page 1252 is asked for; the resource's
// translation list is not consulted.
constexpr const char* BuildTable = "StringFileInfo\\040904E4\\";

}  // namespace

ShortString BuildTextOf(const char* path) {
    UniqueModule library = syslib::Load("version.dll");
    auto size = syslib::Proc<SizeFn>(library, "GetFileVersionInfoSizeA");
    auto info = syslib::Proc<InfoFn>(library, "GetFileVersionInfoA");
    auto query = syslib::Proc<QueryFn>(library, "VerQueryValueA");
    if (!size || !info || !query) return ShortString();
    DWORD ignored = 0;
    DWORD bytes = size(path, &ignored);
    if (bytes == 0) return ShortString();
    std::vector<char> buffer(bytes);
    if (!info(path, 0, bytes, buffer.data())) return ShortString();
    const ShortString key = ShortString(BuildTable) + VersionInfoKeys[2];
    void* value = nullptr;
    UINT length = 0;
    if (!query(buffer.data(), key.CStr(), &value, &length) || !value) return ShortString();
    // The value is read up to its terminator, but never past the length the
    // library reports, so a resource without a terminator cannot overrun.
    const char* text = static_cast<const char*>(value);
    const std::size_t limit = length < ShortString::MaxLength ? length : ShortString::MaxLength;
    const void* terminator = std::memchr(text, '\0', limit);
    const std::size_t chars = terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - text) : limit;
    return ShortString("Build: ") + std::string_view(text, chars);
}

ShortString GetBuildText() {
    std::string path = OwnModulePath();
    return path.empty() ? ShortString() : BuildTextOf(path.c_str());
}

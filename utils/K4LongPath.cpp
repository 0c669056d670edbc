// Paths in the form the wide file calls take at any length.
#include "K4LongPath.h"
#include "K4Paths.h"

namespace {
constexpr std::wstring_view LongPrefix = L"\\\\?\\";
constexpr std::wstring_view DevicePrefix = L"\\\\.\\";
constexpr std::wstring_view SharePrefix = L"\\\\?\\UNC\\";

bool StartsWith(std::wstring_view text, std::wstring_view start) { return text.substr(0, start.size()) == start; }
}  // namespace

std::wstring LongForm(std::wstring_view fullPath) {
    if (StartsWith(fullPath, LongPrefix) || StartsWith(fullPath, DevicePrefix)) return std::wstring(fullPath);
    // A share: "\\server\share\..." becomes "\\?\UNC\server\share\...".
    std::wstring form(StartsWith(fullPath, L"\\\\") ? SharePrefix : LongPrefix);
    form += StartsWith(fullPath, L"\\\\") ? fullPath.substr(2) : fullPath;
    return form;
}

std::wstring PathToOpen(std::wstring_view target, std::wstring_view name, std::size_t limit) {
    std::wstring joined(target);
    joined += name;
    if (joined.size() < limit || StartsWith(joined, LongPrefix)) return joined;
    // The long form is taken as written: the system no longer resolves a relative
    // path, '/', "." or ".." in it, so the full path is formed first.
    return LongForm(FullPathOf(joined));
}

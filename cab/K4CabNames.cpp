// Names and texts of cabinet members.
#include "K4CabNames.h"
#include <fdi.h>
#include "K4Utils.h"

ShortString ListingLine(const ShortString& name, std::int32_t size) {
    ShortString line(name.View().substr(0, 44));
    while (line.Length() < 44) line += ' ';
    line += ' ';
    ShortString digits = IntegerText(size);
    for (std::size_t n = digits.Length(); n < 8; ++n) line += ' ';
    line += digits;
    return line;
}

std::int32_t ProgressPercent(std::int32_t started, std::int32_t total) {
    // 64-bit: a 32-bit product of bytes times 100 overflows past 21 MB. The quotient
    // is floored and its remainder kept (0 <= rest < divisor), so that a half is
    // recognised exactly.
    const std::int64_t divisor = static_cast<std::uint32_t>(total);
    const std::int64_t product = static_cast<std::int64_t>(started) * 100;
    std::int64_t rounded = product / divisor;
    std::int64_t rest = product % divisor;
    if (rest < 0) {
        rounded -= 1;
        rest += divisor;
    }
    if (2 * rest > divisor || (2 * rest == divisor && rounded % 2 != 0)) rounded += 1;
    // Only an extraction that saw far more than the listing leaves 0..100; keep the
    // conversion defined.
    if (rounded > INT32_MAX) return INT32_MAX;
    if (rounded < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(rounded);
}

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Windows drops trailing dots and spaces of a component, so "..", ". ." and "..."
// all climb or vanish; a component that is nothing else is refused.
bool OnlyDotsAndSpaces(std::string_view component) {
    return component.find_first_not_of(". ") == std::string_view::npos;
}
}  // namespace

bool IsReservedDeviceName(std::string_view component) {
    // The device is named by the part before the first dot, trailing spaces ignored:
    // "nul.txt" and "COM1 .log" open the device too.
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::string_view fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view name : fixed)
        if (SameLetters(base, name)) return true;
    if (base.size() == 4 && base[3] >= '1' && base[3] <= '9')
        return SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT");
    return false;
}

bool IsUnsafeMemberName(std::string_view name) {
    if (name.empty()) return true;
    if (name.front() == '\\' || name.front() == '/') return true;   // absolute, UNC, device paths
    if (name.find(':') != std::string_view::npos) return true;      // drives, alternate streams
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view component = name.substr(start, end - start);
        // Empty components (doubled separators) name nothing and are harmless.
        if (!component.empty() && (OnlyDotsAndSpaces(component) || IsReservedDeviceName(component))) return true;
        start = end + 1;
    }
    return false;
}

std::wstring WideFromCodePage(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string NarrowFromWide(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

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

bool ValidDosDateTime(unsigned date, unsigned time) {
    const unsigned year = 1980 + (date >> 9), month = (date >> 5) & 15, day = date & 31;
    const unsigned hour = time >> 11, minute = (time >> 5) & 63, seconds = (time & 31) * 2;
    static constexpr unsigned daysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const unsigned lastDay = daysIn[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= lastDay && hour < 24 && minute < 60 && seconds < 60;
}

ShortString MemberDisplayName(const char* name, unsigned attribs) {
    if (!name) return {};
    if (!(attribs & _A_NAME_IS_UTF)) return ShortString(name);
    return ShortString(NarrowFromWide(WideFromCodePage(name, CP_UTF8), CP_ACP));
}

bool CreateMemberFolders(const std::wstring& targetDir, std::wstring_view memberName) {
    std::wstring path = targetDir;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = memberName.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) return true;   // the rest is the file itself
        const std::wstring_view component = memberName.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        path.append(component);
        path.push_back(L'\\');
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
            continue;
        }
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
}

// Names and texts of cabinet members.
#include "K4CabNames.h"
#include "K4TextEncoding.h"
#include <cmath>
#include <cstdio>
#include <fdi.h>

ShortString ListingLine(const ShortString& name, std::int32_t size) {
    ShortString line(name.View().substr(0, 44));
    while (line.Length() < 44) line += ' ';
    line += ' ';
    char digits[16];
    std::snprintf(digits, sizeof digits, "%8ld", static_cast<long>(size));
    line += digits;
    return line;
}

std::int32_t ProgressPercent(std::int32_t started, std::int32_t total) {
    // Floating point: a 32-bit product of bytes times 100 overflows past 21 MB.
    const double exact = static_cast<double>(started) * 100.0 / static_cast<double>(static_cast<std::uint32_t>(total));
    double rounded = std::floor(exact);
    const double rest = exact - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    // Only an extraction that saw far more than the listing leaves 0..100; keep the
    // conversion defined.
    if (rounded > 2147483647.0) return INT32_MAX;
    if (rounded < -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(rounded);
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

// Names and texts of cabinet members.
#include "K4CabNames.h"
#include "K4TextEncoding.h"
#include <fdi.h>
#include "K4Utils.h"
#include "K4LongDivision.h"
#include "K4LongPath.h"

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
    // Truncated toward zero and with the dividend's sign, as '/' and '%' give them.
    const bool negative = product < 0;
    const QuotientAndRest magnitude =
        DivideLong(negative ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product),
                   static_cast<std::uint32_t>(total));
    std::int64_t rounded = static_cast<std::int64_t>(magnitude.quotient);
    std::int64_t rest = magnitude.rest;
    if (negative) {
        rounded = -rounded;
        rest = -rest;
    }
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
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = memberName.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) return true;   // the rest is the file itself
        const std::wstring_view component = memberName.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        const std::wstring path = PathToOpen(targetDir, memberName.substr(0, end + 1), ClassicFolderLimit);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            SetLastError(ERROR_FILE_EXISTS);   // a file in the way
            return false;
        }
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
}

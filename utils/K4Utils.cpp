// Short-string routines.
#include "K4Utils.h"
#include <string_view>
#include "K4LongDivision.h"

ShortString SpaceString(std::int32_t width) {
    return FillString(' ', width < 1 ? 1 : width);
}

ShortString FillString(char c, std::int32_t count) {
    ShortString out;
    std::int32_t n = count < 0 ? 0 : (count > 255 ? 255 : count);
    for (std::int32_t i = 0; i < n; ++i) out[i] = c;
    out.SetLength(static_cast<std::size_t>(n));
    return out;
}

ShortString TrimSpaces(const ShortString& text) {
    std::string_view v = text.View();
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return ShortString(v);
}

char UpCaseChar(char b) {
    auto u = static_cast<unsigned char>(b);
    if ((u >= 'a' && u <= 'z') || u >= 0xE0) u = static_cast<unsigned char>(u - 0x20);
    return static_cast<char>(u);
}

ShortString IntegerText(std::int64_t value) {
    // Digits from the last one back; the magnitude as unsigned, so that the most
    // negative value has one too.
    char digits[20];
    std::size_t n = 0;
    std::uint64_t rest = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        const QuotientAndRest step = DivideLong(rest, 10);
        digits[n++] = static_cast<char>('0' + step.rest);
        rest = step.quotient;
    } while (rest != 0);
    ShortString out;
    if (value < 0) out += '-';
    while (n > 0) out += digits[--n];
    return out;
}

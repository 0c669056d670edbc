// Numbers with fractions as text. A file of its own: the floating-point formatter
// it calls brings about 180 KB of tables, which a program that only calls the
// routines of K4Utils.cpp must not carry.
#include <charconv>
#include <string_view>
#include "K4Utils.h"

ShortString NumberToText(double value) {
    // Largest fixed-notation double: 309 integer digits, sign, point and 20 decimals.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 20);
    if (ec != std::errc()) return ShortString();
    std::string_view v(buf, static_cast<std::size_t>(end - buf));
    // Only a text with a decimal point has trailing zeros that are not significant
    // ("inf" and "nan" have none).
    if (v.find('.') != std::string_view::npos) {
        while (!v.empty() && v.back() == '0') v.remove_suffix(1);
        if (v.size() > 1 && v.back() == '.') v.remove_suffix(1);
    }
    return ShortString(v);
}

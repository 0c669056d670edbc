// Rules for the names of cabinet members.
#include "K4MemberNames.h"
#include <cstdint>

namespace membername {

namespace {
bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and spaces of a component, so "..", ". ." and "..."
// all climb or vanish; a component that is nothing else is refused.
bool OnlyDotsAndSpaces(std::string_view component) {
    return component.find_first_not_of(". ") == std::string_view::npos;
}

// Calls visit(component) for every non-empty component; stops at the first true.
template <class Visit>
bool AnyComponent(std::string_view name, Visit visit) {
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        // Empty components (doubled separators) name nothing and are harmless.
        if (end > start && visit(name.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}
}  // namespace

std::string FoldAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = FoldAscii(c);
    return out;
}

bool IsForbiddenCharacter(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos;
}

namespace {
// The digit of COM and LPT devices: 0 to 9, or the superscripts 1, 2 and 3, which
// Windows reads as digits there (bytes B9, B2, B3 in the Windows Latin-1 code page,
// C2 B9, C2 B2, C2 B3 in UTF-8).
bool IsDeviceDigit(std::string_view digit) {
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
    if (digit.size() == 2 && digit[0] == '\xC2') digit.remove_prefix(1);
    return digit.size() == 1 && (digit[0] == '\xB9' || digit[0] == '\xB2' || digit[0] == '\xB3');
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
    if (base.size() < 4 || !IsDeviceDigit(base.substr(3))) return false;
    return SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT");
}

bool IsUnsafe(std::string_view name) {
    if (name.empty()) return true;
    if (IsSeparator(name.front())) return true;                     // absolute, UNC, device paths
    if (name.find(':') != std::string_view::npos) return true;      // drives, alternate streams
    return AnyComponent(name, [](std::string_view c) { return OnlyDotsAndSpaces(c) || IsReservedDeviceName(c); });
}

bool IsCreatable(std::string_view name) {
    for (char c : name)
        if (IsForbiddenCharacter(c)) return false;
    return !AnyComponent(name, [](std::string_view c) { return c.back() == '.' || c.back() == ' '; });
}

namespace {
// The code point of the sequence at text[i] (advancing i past it), or -1 when the
// sequence is not well-formed.
std::int32_t DecodeUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int extra;
    std::int32_t point, lowest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, point = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, point = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, point = lead & 0x07, lowest = 0x10000;
    } else {
        return -1;   // a continuation byte, or a lead that only overlong forms use
    }
    for (int k = 0; k < extra; ++k, ++i) {
        if (i >= text.size()) return -1;
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return -1;
        point = (point << 6) | (next & 0x3F);
    }
    if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return -1;
    return point;
}
}  // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();)
        if (DecodeUtf8(text, i) < 0) return false;
    return true;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) units += DecodeUtf8(utf8, i) >= 0x10000 ? 2 : 1;
    return units;
}

}  // namespace membername

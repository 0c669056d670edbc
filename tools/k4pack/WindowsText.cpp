// UTF-8 and UTF-16 by their definitions (RFC 3629, RFC 2781), and the extended-length path.
#include "WindowsText.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace k4pack {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point starting at `at`, its bytes consumed; nothing when the bytes there are not
// the shortest UTF-8 form of a scalar value.
std::optional<char32_t> NextCodePoint(std::string_view utf8, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(utf8[at++]);
    if (lead < 0x80) return lead;
    int more = 0;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) more = 1, c = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) more = 2, c = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) more = 3, c = lead & 0x07;
    else return std::nullopt;
    for (int i = 0; i < more; ++i) {
        if (at >= utf8.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(utf8[at++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = c << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The UTF-8 of `utf16`, an unpaired surrogate given as `unpaired`, or nothing when
// `unpaired` is 0 and one is met.
std::optional<std::string> ToUtf8(std::u16string_view utf16, char32_t unpaired) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            if (unpaired == 0) return std::nullopt;
            c = unpaired;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrive(std::string_view path) {
    const char d = path.size() >= 2 ? path[0] : '\0';
    return ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && path[1] == ':';
}

bool IsUnc(std::string_view path) { return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]); }

bool IsAbsolute(std::string_view path) {
    return IsUnc(path) || (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2]));
}

// The parts of `rest` after "." and ".." are resolved; ".." at the root stays there.
std::vector<std::string_view> ResolvedParts(std::string_view rest) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at <= rest.size()) {
        std::size_t end = at;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const std::string_view part = rest.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    return parts;
}

// "\\?\" + root + the parts, joined with '\'; the bare root ends in '\'.
std::string Joined(const std::string& root, std::string_view rest) {
    std::string out = "\\\\?\\" + root + "\\";
    const std::vector<std::string_view> parts = ResolvedParts(rest);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '\\';
        out += parts[i];
    }
    return out;
}

// "\\server\share...": the root "UNC\server\share" and where the rest begins.
std::optional<std::pair<std::string, std::size_t>> UncRoot(std::string_view path) {
    std::size_t at = 2;
    std::string root = "UNC";
    for (int i = 0; i < 2; ++i) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end == at) return std::nullopt;
        root += "\\" + std::string(path.substr(at, end - at));
        at = end + 1;
    }
    return std::pair{root, std::min(at, path.size())};
}

std::optional<std::string> UncPath(std::string_view path) {
    const auto root = UncRoot(path);
    if (!root) return std::nullopt;
    return Joined(root->first, path.substr(root->second));
}

}  // namespace

std::optional<std::u16string> Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> c = NextCodePoint(utf8, at);
        if (!c) return std::nullopt;
        if (*c < 0x10000) {
            out += static_cast<char16_t>(*c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((*c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((*c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::optional<std::string> Utf8FromUtf16(std::u16string_view utf16) { return ToUtf8(utf16, 0); }

std::string ShownUtf16(std::u16string_view utf16) { return *ToUtf8(utf16, 0xFFFD); }

std::optional<std::string> ExtendedLengthPath(std::string_view path, std::string_view currentDirectory) {
    if (path.empty()) return std::nullopt;
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) return std::string(path);
    if (IsUnc(path)) return UncPath(path);
    if (IsAbsolute(path)) return Joined(std::string(path.substr(0, 2)), path.substr(2));
    if (!IsAbsolute(currentDirectory)) return std::nullopt;
    // Drive-relative ("C:x"): from the current directory when it is on that drive, else
    // from the drive's root.
    if (HasDrive(path)) {
        const bool sameDrive = HasDrive(currentDirectory) && (currentDirectory[0] | 0x20) == (path[0] | 0x20);
        const std::string base = sameDrive ? std::string(currentDirectory) : std::string(path.substr(0, 2)) + "\\";
        return ExtendedLengthPath(base + "\\" + std::string(path.substr(2)), currentDirectory);
    }
    // Rooted ("\x"): on the current directory's drive or share.
    if (IsSeparator(path[0])) {
        if (HasDrive(currentDirectory)) return Joined(std::string(currentDirectory.substr(0, 2)), path);
        const auto share = UncRoot(currentDirectory);
        if (!share) return std::nullopt;
        return Joined(share->first, path);
    }
    return ExtendedLengthPath(std::string(currentDirectory) + "\\" + std::string(path), currentDirectory);
}

}  // namespace k4pack

// UTF-8 to the wide API and back, through the system-free conversions of WindowsText.h.
#include "WindowsWide.h"

#include "PackError.h"
#include "WindowsText.h"

namespace k4pack::win {
namespace {

// FILETIME counts 100 ns from 1601-01-01; this many of them lie before 1970-01-01.
constexpr std::int64_t kTicksTo1970 = 116444736000000000;
constexpr std::int64_t kTicksPerSecond = 10000000;

std::u16string Utf16Of(const std::wstring& wide) { return std::u16string(wide.begin(), wide.end()); }

// GetCurrentDirectoryW, or for "C:" the current directory the system keeps for that drive.
std::wstring CurrentDirectoryFor(const std::string& path) {
    const bool driveRelative = path.size() >= 2 && path[1] == ':' && (path.size() == 2 || (path[2] != '\\' && path[2] != '/'));
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = driveRelative
            ? GetFullPathNameW(Wide(path.substr(0, 2), path).c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr)
            : GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);
    }
}

}  // namespace

std::wstring Wide(const std::string& utf8, const std::string& what) {
    const std::optional<std::u16string> utf16 = Utf16FromUtf8(utf8);
    if (!utf16) throw PackError(what + ": not UTF-8 text");
    return std::wstring(utf16->begin(), utf16->end());
}

std::optional<std::string> Narrow(const std::wstring& wide) { return Utf8FromUtf16(Utf16Of(wide)); }

std::string Shown(const std::wstring& wide) { return ShownUtf16(Utf16Of(wide)); }

std::wstring WidePath(const std::string& path) {
    const std::optional<std::string> full = ExtendedLengthPath(path, Shown(CurrentDirectoryFor(path)));
    if (!full) throw PackError(path + ": not a path the system can complete");
    return Wide(*full, path);
}

std::string ErrorText(DWORD code) {
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             static_cast<DWORD>(std::size(text)), nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ' || text[n - 1] == L'.')) --n;
    if (n == 0) return "system error " + std::to_string(code);
    return Shown(std::wstring(text, n));
}

std::int64_t UnixSeconds(const FILETIME& time) {
    const std::int64_t ticks =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) - kTicksTo1970;
    // Rounded towards minus infinity: a time before 1970 belongs to the second it began in.
    return ticks / kTicksPerSecond - (ticks % kTicksPerSecond < 0 ? 1 : 0);
}

}  // namespace k4pack::win

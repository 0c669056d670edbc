// The Windows edge of the packer's strings: UTF-8 paths and texts to the wide API's
// UTF-16 and back, and the system's error texts. Windows builds only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace k4pack::win {

// UTF-16 of UTF-8 text; throws PackError naming `what` for bytes that are not UTF-8.
std::wstring Wide(const std::string& utf8, const std::string& what);
// UTF-8 of a UTF-16 text; nothing when it holds an unpaired surrogate.
std::optional<std::string> Narrow(const std::wstring& wide);
// The UTF-8 text with an unpaired surrogate shown as U+FFFD, for messages.
std::string Shown(const std::wstring& wide);

// `path` in the extended-length form ("\\?\C:\..." or "\\?\UNC\..."), so that paths of
// any length reach the file functions; relative and rooted paths are completed from the
// current directory. Throws PackError for a path that cannot be made absolute.
std::wstring WidePath(const std::string& path);

// The system's text for an error code, without the line break it ends with.
std::string ErrorText(DWORD code);

// The seconds since 1970 (UTC) of a FILETIME, rounded down as st_mtime is.
std::int64_t UnixSeconds(const FILETIME& time);

}  // namespace k4pack::win

// Paths as the system's wide file calls take them at any length: below the classic
// limit the joined text itself, from the limit on the long form ("\\?\" before the
// full path), which every Windows takes up to 32767 characters without a setting on
// the user's machine.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The classic calls refuse a file's path from 260 characters on (MAX_PATH holds the
// closing null) and a folder's from 248 on (they keep room for an 8.3 name in it).
inline constexpr std::size_t ClassicFileLimit = 260;
inline constexpr std::size_t ClassicFolderLimit = 248;

// A full path (backslashes only, no "." or ".." component) in the long form:
// "\\?\C:\..." for a drive path, "\\?\UNC\server\share\..." for a share. A path in
// that form already, or a device path ("\\.\"), stays as it is.
std::wstring LongForm(std::wstring_view fullPath);

// `target` (ending in its separator, or empty for the current directory) and `name`
// joined, in the form to open: the joined text while it is shorter than `limit`, the
// long form of its full path (the system resolves a relative target, '/' and "."
// and "..", as the classic calls would) from `limit` on.
std::wstring PathToOpen(std::wstring_view target, std::wstring_view name, std::size_t limit = ClassicFileLimit);

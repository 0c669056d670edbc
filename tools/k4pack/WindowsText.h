// Text at the Windows edge of the packer, kept free of the system so that both builds
// compile it and the host tests check it: UTF-8 <-> UTF-16 (the packer's strings are
// UTF-8, the wide Windows API takes UTF-16) and the extended-length form of a path.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace k4pack {

// UTF-16 of UTF-8 text; nothing for bytes that are not UTF-8 (overlong forms, surrogates
// encoded in UTF-8, values over U+10FFFF, cut sequences).
std::optional<std::u16string> Utf16FromUtf8(std::string_view utf8);

// UTF-8 of UTF-16 text; nothing when it holds a surrogate without its pair, which no
// UTF-8 text can carry (a Windows name may hold one).
std::optional<std::string> Utf8FromUtf16(std::u16string_view utf16);

// The same with every unpaired surrogate shown as U+FFFD, for messages about such a name.
std::string ShownUtf16(std::u16string_view utf16);

// `path` (UTF-8, '/' or '\' separated) as the wide file functions take a path of any
// length: absolute, "\\?\C:\..." or "\\?\UNC\server\share\...", separators as '\', "."
// and ".." parts resolved by their text alone (the system does the same for a path
// without the prefix, but the prefix turns that off). Every other part stays exactly as
// given: a name ending in a dot or naming a device is a name, as on Linux. A relative
// path is taken from `currentDirectory` (absolute, with a drive or a share); a rooted one
// ("\x") from its drive or share. A path already in the "\\?\" or "\\.\" form stays as it
// is. A ".." at the root stays at the root, as the system has it. Nothing for an empty
// path, a share without its server or share name, or a relative path when
// `currentDirectory` is not absolute.
std::optional<std::string> ExtendedLengthPath(std::string_view path, std::string_view currentDirectory);

}  // namespace k4pack

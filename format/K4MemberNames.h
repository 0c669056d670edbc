// Rules for the names of cabinet members, judged as Windows will read them when a
// member is created: platform-free, shared by the extractor and the packer.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace membername {

// Upper case for ASCII letters only, every other byte as it is: the letter case
// Windows ignores in every code page.
constexpr char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
std::string FoldAscii(std::string_view text);

// Whether a name must never be created: empty, absolute, holding a colon, a
// component of only dots and spaces (".", "..", ". ."), or a reserved device name
// in any component. Both separators count.
bool IsUnsafe(std::string_view name);
// Whether a component opens a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM
// and LPT with a digit 0-9 or a superscript 1-3, with any extension and trailing
// spaces.
bool IsReservedDeviceName(std::string_view component);

// Control characters and < > " | ? *, which no Windows file name may hold.
bool IsForbiddenCharacter(char c);

// Whether Windows can create a file under the name as given: no control
// characters, none of < > " | ? *, and no component ending in a dot or a space
// (Windows would silently drop it and create another name).
bool IsCreatable(std::string_view name);

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates, no
// code point above U+10FFFF.
bool IsValidUtf8(std::string_view text);
// The length in UTF-16 units of well-formed UTF-8.
std::size_t Utf16Length(std::string_view utf8);

}  // namespace membername

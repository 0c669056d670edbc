// Rules for the names of cabinet members, judged as Windows will read them when a
// member is created: platform-free, shared by the extractor and the packer.
#pragma once
#include <cstddef>
#include <string_view>

namespace membername {

// Whether a name must never be created: empty, absolute, holding a colon, a
// component of only dots and spaces (".", "..", ". ."), or a reserved device name
// in any component. Both separators count.
bool IsUnsafe(std::string_view name);
// Whether a component opens a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM1-9 and LPT1-9, with any extension and trailing spaces.
bool IsReservedDeviceName(std::string_view component);

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

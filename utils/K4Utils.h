// Small routines on short strings: fill, trim, upper case, number text.
#pragma once
#include <cstdint>
#include "ShortString.h"

// max(width, 1) spaces, at most 255.
ShortString SpaceString(std::int32_t width);

// count copies of c (none when count is 0 or less), at most 255.
ShortString FillString(char c, std::int32_t count);

// Removes the space character (0x20 only; tabs stay) from the end, then the start.
ShortString TrimSpaces(const ShortString& text);

// a..z and 0xE0..0xFF lose 0x20; every other byte is returned unchanged. No locale.
char UpCaseChar(char b);

// A whole number in decimal, "-" before a negative one; every 64-bit value fits.
ShortString IntegerText(std::int64_t value);

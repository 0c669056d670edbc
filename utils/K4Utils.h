// Small routines on short strings (fill, trim, upper case, number text)
// and the guarded reads of an open file that share one caller-owned error code.
#pragma once
#include <cstdint>
#include "K4BlockFile.h"
#include "ShortString.h"

// max(width, 1) spaces, at most 255.
ShortString SpaceString(std::int32_t width);

// count copies of c (none when count is 0 or less), at most 255.
ShortString FillString(char c, std::int32_t count);

// Removes the space character (0x20 only; tabs stay) from the end, then the start.
ShortString TrimSpaces(const ShortString& text);

// a..z and 0xE0..0xFF lose 0x20; every other byte is returned unchanged. No locale.
char UpCaseChar(char b);

// Fixed notation with the trailing zeros (and then a trailing point) removed:
// 7 -> "7", 2.5 -> "2.5", 10 -> "10". Brings the floating-point formatter's
// tables along (about 180 KB): the extractor prints whole numbers with
// IntegerText instead.
ShortString NumberToText(double value);

// A whole number in decimal, "-" before a negative one; every 64-bit value fits.
ShortString IntegerText(std::int64_t value);

// Does nothing while err is not 0; otherwise reads count bytes from the file's
// current position and sets err to the read's result (see BlockFile::Read).
// A count of 0 or less reads nothing.
void GuardedBlockRead(std::int32_t& err, BlockFile& file, void* buffer, std::int32_t count);

// A 32-bit little-endian signed length n, then n characters. Empty when err was set
// on entry or the length read fails; empty for n of 0 or less (4 bytes consumed).
// A failed character read keeps length n with the unread characters left as spaces.
// A length above 255 does not fit a short string: err is set to
// OversizedStringError and the result is empty (only the length was consumed).
ShortString ReadCountedString(std::int32_t& err, BlockFile& file);

// The error code of a counted string whose length exceeds 255 (the system's
// "the data is invalid").
inline constexpr std::int32_t OversizedStringError = 13;

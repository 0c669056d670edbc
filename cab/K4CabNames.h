// Names and texts of cabinet members: the listing line, the progress percentage, the
// name as shown, valid dates and the creation of a member's subfolders.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <windows.h>
#include "ShortString.h"

// The listing line: the name cut or filled with spaces to 44 characters, one space,
// then the size in decimal right-aligned in at least 8 characters.
ShortString ListingLine(const ShortString& name, std::int32_t size);

// started * 100 / total, total read as unsigned, rounded to the nearest integer with
// an exact half going to the even neighbour. The caller skips a total of 0.
std::int32_t ProgressPercent(std::int32_t started, std::int32_t total);

// Whether a DOS date and time name a real moment (month 1..12, a day of that month,
// hour < 24, minute < 60, seconds < 60).
bool ValidDosDateTime(unsigned date, unsigned time);

// A member's name as the system code page shows it: names flagged _A_NAME_IS_UTF
// are UTF-8 and converted, others are taken byte for byte. Cut at 255.
ShortString MemberDisplayName(const char* name, unsigned attribs);

// Creates, level by level, the folders that `memberName` names below `targetDir`
// (`targetDir` itself must exist), each in the form to open at its length. False when
// one cannot be made (GetLastError the system's reason) or a file of that name is in
// the way (ERROR_FILE_EXISTS).
bool CreateMemberFolders(const std::wstring& targetDir, std::wstring_view memberName);

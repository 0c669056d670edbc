// Text between the system's single-byte code pages, UTF-8 and the wide (UTF-16)
// form the system's Unicode calls take.
#pragma once
#include <string>
#include <string_view>
#include <windows.h>

// Characters the target cannot show become '?'.
std::wstring WideFromCodePage(std::string_view text, UINT codePage);
std::string NarrowFromWide(std::wstring_view text, UINT codePage);

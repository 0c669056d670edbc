// Paths as the system resolves and compares them.
#pragma once
#include <string>

// The full form of a path (relative to the current directory), or the path itself
// when the system cannot form it.
std::wstring FullPathOf(const std::wstring& path);
// Whether two paths are the same text, ignoring case as the file system does.
bool SamePathText(const std::wstring& a, const std::wstring& b);

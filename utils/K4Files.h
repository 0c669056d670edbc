// Files and folders as the program asks about them: existence, the running
// program's own file, and the last system error as a code that always says failure.
#pragma once
#include <cstdint>
#include <string>

// An existing file; a folder of that name does not count.
bool FileExists(const char* path);
inline bool FileExists(const std::string& path) { return FileExists(path.c_str()); }
// An existing folder.
bool DirectoryExists(const char* path);
inline bool DirectoryExists(const std::string& path) { return DirectoryExists(path.c_str()); }

// The full path of the running program's own file; empty if the system gives none
// or it is longer than the longest path the system has (32767 characters).
std::string OwnModulePath();

// GetLastError as a shared error code: a failed call that left no code still
// reports a failure (ERROR_GEN_FAILURE), never 0.
std::int32_t LastErrorCode();

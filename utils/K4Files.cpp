// Files and folders as the program asks about them.
#include "K4Files.h"
#include <windows.h>

namespace {
DWORD AttributesOf(const char* path) { return path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES; }

// The longest path the system accepts anywhere, in characters.
constexpr std::size_t LongestPath = 32767;
}  // namespace

bool FileExists(const char* path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const char* path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string OwnModulePath() {
    // The system cuts the path to the buffer and then returns the buffer's size:
    // grow until the whole path fits.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() > LongestPath) return std::string();
        path.resize(path.size() * 2);
    }
}

std::int32_t LastErrorCode() {
    const DWORD e = GetLastError();
    return e ? static_cast<std::int32_t>(e) : static_cast<std::int32_t>(ERROR_GEN_FAILURE);
}

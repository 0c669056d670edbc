// The system layer on Windows: the wide API with extended-length paths, so that names
// outside the code page and paths over MAX_PATH work; names become UTF-8 here and
// nowhere else.
#include <iterator>

#include "FileIo.h"
#include "PackError.h"
#include "Platform.h"
#include "UniqueHandle.h"
#include "WindowsWide.h"

namespace k4pack::platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Missing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_DRIVE;
}

// A reparse point that stands for another place (a symbolic link, a junction), not one
// that only changes how the data is stored.
bool IsLink(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(found.dwReserved0);
}

// `name` inside a folder given by its extended-length path (which ends in '\' at a root only).
std::wstring Inside(const std::wstring& folder, const std::wstring& name) {
    return folder.ends_with(L'\\') ? folder + name : folder + L"\\" + name;
}

// The entries of a folder given by its extended-length path: each name and what it is.
template <class Visit>
void EachEntry(const std::wstring& folder, const std::string& shownFolder, Visit visit) {
    WIN32_FIND_DATAW found{};
    const UniqueSearch search(FindFirstFileExW(Inside(folder, L"*").c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
        throw PackError(SystemErrorText(shownFolder));
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(name, found);
    } while (FindNextFileW(search.Get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) throw PackError(SystemErrorText(shownFolder));
}

// The folder and everything in it; a link inside is removed, never what it leads to.
void RemoveWideTree(const std::wstring& folder) {
    EachEntry(folder, "", [&](const std::wstring& name, const WIN32_FIND_DATAW& found) {
        const std::wstring inside = Inside(folder, name);
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && !IsLink(found)) {
            RemoveWideTree(inside);
        } else if (isFolder) {
            RemoveDirectoryW(inside.c_str());
        } else {
            SetFileAttributesW(inside.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(inside.c_str());
        }
    });
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::optional<FileFacts> Describe(const std::string& path) {
    if (path.empty()) return std::nullopt;
    // Attributes only: a file another program holds without sharing is still described
    // (reading it fails later, with the system's reason). Links are followed.
    const SystemFile file(reinterpret_cast<SystemFile::Native>(
        CreateFileW(win::WidePath(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    if (!file.Valid()) {
        if (Missing(GetLastError())) return std::nullopt;
        throw PackError(SystemErrorText(path));
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(file.Get());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) throw PackError(SystemErrorText(path));
    FileFacts facts;
    facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder
                 : GetFileType(handle) == FILE_TYPE_DISK                  ? Kind::File
                                                                          : Kind::Other;
    facts.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    facts.modified = static_cast<std::time_t>(win::UnixSeconds(info.ftLastWriteTime));
    facts.identity = {info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return facts;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    EachEntry(win::WidePath(folder), folder, [&](const std::wstring& name, const WIN32_FIND_DATAW& found) {
        const std::optional<std::string> utf8 = win::Narrow(name);
        if (!utf8)
            throw PackError(JoinPath(folder, win::Shown(name)) +
                            ": the name holds a UTF-16 surrogate without its pair, which no UTF-8 name can carry; rename it");
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back({*utf8, isFolder ? Kind::Folder : Kind::File, IsLink(found)});
    });
    return entries;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSeparator(folder.back()) || (folder.size() == 2 && folder[1] == ':')) return folder + name;
    return folder + "\\" + name;
}

std::string LastPart(const std::string& path) {
    std::size_t start = path.find_last_of("\\/");
    start = start == std::string::npos ? (path.size() >= 2 && path[1] == ':' ? 2 : 0) : start + 1;
    return path.substr(start);
}

std::string TemporaryDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
    if (n == 0 || n > MAX_PATH) throw PackError("the temporary folder: " + win::ErrorText(GetLastError()));
    return win::Shown(std::wstring(buffer, n));
}

void MakeFolder(const std::string& path) {
    if (!CreateDirectoryW(win::WidePath(path).c_str(), nullptr)) throw PackError(SystemErrorText(path));
}

// Six letters from a counter mixed with the process and the clock; a name already taken
// is passed over, as mkdtemp does.
std::string MakeUniqueFolder(const std::string& besidePath, const std::string& prefix) {
    std::string parent = besidePath.substr(0, besidePath.size() - LastPart(besidePath).size());
    if (parent.empty()) parent = ".";
    LARGE_INTEGER clock{};
    QueryPerformanceCounter(&clock);
    std::uint64_t seed = static_cast<std::uint64_t>(clock.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) name += "abcdefghijklmnopqrstuvwxyz0123456789"[(seed >> (16 + 5 * i)) % 36];
        const std::string path = JoinPath(parent, name);
        if (CreateDirectoryW(win::WidePath(path).c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw PackError("cannot make a temporary folder: " + SystemErrorText(parent));
}

void RemoveFile(const std::string& path) noexcept {
    try {
        DeleteFileW(win::WidePath(path).c_str());
    } catch (...) {  // a path that cannot be a file's: nothing to remove
    }
}

void RemoveTree(const std::string& path) noexcept {
    try {
        RemoveWideTree(win::WidePath(path));
    } catch (...) {  // what cannot be removed stays
    }
}

std::optional<std::tm> LocalTime(std::time_t when) {
    std::tm local{};
    if (localtime_s(&local, &when) != 0) return std::nullopt;
    return local;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace k4pack::platform

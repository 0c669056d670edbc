// Scratch folders and whole-file reads and writes over the ANSI file functions; removal
// goes through the wide ones, so that files a test made under any name go too.
#include "TestFiles.h"
#include <string>
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <stdexcept>
#include "UniqueHandle.h"

namespace k4test {

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    UniqueSearch search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search.Get(), &found));
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // A folder left behind by an earlier run of the same process id is skipped, not reused.
    for (;;) {
        path_ = std::string(temp) + "k4test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + path_);
    }
}

// In the long form: the program's tests leave paths of any length behind.
ScratchFolder::~ScratchFolder() { RemoveTree(L"\\\\?\\" + Wide(path_)); }

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = *this / name;
    WriteAll(path, bytes);
    return path;
}

CurrentDirectory::CurrentDirectory(const std::string& folder) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    if (!SetCurrentDirectoryA(folder.c_str())) throw std::runtime_error("cannot change into " + folder);
}

CurrentDirectory::~CurrentDirectory() { SetCurrentDirectoryA(previous_.c_str()); }

bool ReadBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Shared for writing too: the program under test may still hold the file open.
    // A full path past the classic limit in the long form, as the program writes it.
    UniqueFile file(path.size() < MAX_PATH
                        ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr)
                        : CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char block[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file.Get(), block, sizeof block, &got, nullptr) != FALSE) && got) bytes.append(block, got);
    return ok;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (!ReadBytes(path, bytes)) throw std::runtime_error("cannot read " + path);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("cannot write " + path + " (system error " + std::to_string(GetLastError()) + ")");
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    UniqueSearch search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search.Get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, n);
    return program.substr(0, program.rfind('\\'));
}

std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace k4test

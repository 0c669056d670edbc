// A fresh folder under the system's temporary folder for files a test writes;
// removed with its files (not subfolders) when the test ends.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>

class ScratchDir {
public:
    ScratchDir() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static unsigned counter = 0;
        path_ = base;
        path_.append("k4diag_").append(std::to_string(GetCurrentProcessId()));
        path_.append("_").append(std::to_string(++counter));
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir() {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string file = File(found.cFileName);
                SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(file.c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "\\" + std::string(name); }

    // Writes `bytes` to a new file of that name and returns its full path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        std::string file = File(name);
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(h);
        return file;
    }

private:
    std::string path_;
};

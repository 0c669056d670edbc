// The cabinet an extraction reads, as the extraction guards it: the library may open
// no other file, and no member may be written over it, under its own name or under
// another name of the same file (a hard link, a short name).
#pragma once
#include <windows.h>
#include <string>

class CabinetIdentity {
public:
    // Guards `cabinet` (its full path and its file identity) until Forget.
    void Take(const std::wstring& cabinet);
    void Forget();
    bool Guarding() const { return !fullPath_.empty(); }

    // Whether `path` names the guarded cabinet by its full name.
    bool Names(const std::wstring& path) const;
    // Whether `path` is the guarded cabinet's file under whatever name: by volume and
    // file index, which takes opening it (used only where a create failed).
    bool Is(const std::wstring& path) const;

private:
    struct FileIdentity {
        DWORD volume = 0, indexHigh = 0, indexLow = 0;
        bool known = false;
        bool operator==(const FileIdentity& o) const;
    };
    static FileIdentity IdentityOf(const wchar_t* path);

    std::wstring fullPath_;
    FileIdentity identity_;
};

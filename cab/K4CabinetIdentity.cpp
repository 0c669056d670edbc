// The guard on the cabinet an extraction reads.
#include "K4CabinetIdentity.h"
#include "K4Paths.h"
#include "UniqueHandle.h"

bool CabinetIdentity::FileIdentity::operator==(const FileIdentity& o) const {
    return known && o.known && volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
}

CabinetIdentity::FileIdentity CabinetIdentity::IdentityOf(const wchar_t* path) {
    FileIdentity id;
    UniqueFile file(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) return id;
    id.volume = info.dwVolumeSerialNumber;
    id.indexHigh = info.nFileIndexHigh;
    id.indexLow = info.nFileIndexLow;
    id.known = true;
    return id;
}

void CabinetIdentity::Take(const std::wstring& cabinet) {
    fullPath_ = FullPathOf(cabinet);
    identity_ = IdentityOf(cabinet.c_str());
}

void CabinetIdentity::Forget() {
    fullPath_.clear();
    identity_ = {};
}

bool CabinetIdentity::Names(const std::wstring& path) const {
    return Guarding() && SamePathText(FullPathOf(path), fullPath_);
}

bool CabinetIdentity::Is(const std::wstring& path) const {
    return identity_.known && IdentityOf(path.c_str()) == identity_;
}

// File streams over one system file handle and their open modes.
#include "K4NamedStream.h"
#include <fcntl.h>
#include "K4Error.h"

std::uint16_t OpenFlagsToMode(int flags) {
    const unsigned low = static_cast<unsigned>(flags) & 0xFFFFu;
    if (low & _O_CREAT) return ModeCreate;
    // _O_RDWR alone is not _O_WRONLY and so opens for reading: the library only
    // reads the files it opens itself.
    const std::uint16_t access = (low & _O_WRONLY) ? 1 : 0;
    const std::uint16_t sharing = (low & _O_EXCL) ? 0x10 : 0x40;
    return static_cast<std::uint16_t>(access | sharing);
}

CreateFileArgs CreateArgsForMode(std::uint16_t mode) {
    if (mode == ModeCreate) return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS};
    DWORD access = GENERIC_READ;
    if ((mode & 3) == 1) access = GENERIC_WRITE;
    if ((mode & 3) == 2) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = 0;
    switch (mode & 0xF0) {
    case 0x20: share = FILE_SHARE_READ; break;
    case 0x30: share = FILE_SHARE_WRITE; break;
    case 0x40: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: break;
    }
    return {access, share, OPEN_EXISTING};
}

ShortString StreamFailureText(std::uint16_t mode, std::string_view path) {
    ShortString text(mode == ModeCreate ? "Cannot create file " : "Cannot open file ");
    text += path;
    return text;
}

void FailStream(std::uint16_t mode, const ShortString& shownPath) {
    throw K4FileError(StreamFailureText(mode, shownPath.View()).Str());
}

TFileStream::TFileStream(const char* path, std::uint16_t mode, const ShortString& shownPath) {
    const CreateFileArgs a = CreateArgsForMode(mode);
    handle_.Reset(CreateFileA(path, a.access, a.share, nullptr, a.disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_) FailStream(mode, shownPath);
}

TFileStream::TFileStream(const wchar_t* path, std::uint16_t mode, const ShortString& shownPath) {
    const CreateFileArgs a = CreateArgsForMode(mode);
    handle_.Reset(CreateFileW(path, a.access, a.share, nullptr, a.disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_) FailStream(mode, shownPath);
}

std::int32_t TFileStream::Read(void* buffer, std::uint32_t count) {
    DWORD done = 0;
    if (!ReadFile(handle_.Get(), buffer, count, &done, nullptr)) return -1;
    return static_cast<std::int32_t>(done);
}

std::int32_t TFileStream::Write(const void* buffer, std::uint32_t count) {
    // A write the system takes only in part (a volume that fills) is continued, so
    // that the failure comes back with the system's reason.
    const char* next = static_cast<const char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        DWORD done = 0;
        if (!WriteFile(handle_.Get(), next + total, count - total, &done, nullptr)) return -1;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            break;
        }
        total += done;
    }
    return static_cast<std::int32_t>(total);
}

std::int32_t TFileStream::Seek(std::int32_t offset, int origin) {
    static_assert(FILE_BEGIN == 0 && FILE_CURRENT == 1 && FILE_END == 2);
    if (origin < 0 || origin > 2) return -1;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(handle_.Get(), distance, &position, static_cast<DWORD>(origin))) return -1;
    // Positions are 32-bit signed for the library; a cabinet never reaches 2 GiB.
    if (position.QuadPart > 0x7FFFFFFF) return -1;
    return static_cast<std::int32_t>(position.QuadPart);
}

TNamedStream::TNamedStream(const ShortString& fileName, std::uint16_t mode)
    : TFileStream(fileName.CStr(), mode, fileName), FileName(fileName) {}

TNamedStream::TNamedStream(const std::wstring& widePath, const ShortString& fileName, std::uint16_t mode)
    : TFileStream(widePath.c_str(), mode, fileName), FileName(fileName) {}

TNamedStream::TNamedStream(const ShortString& fileName, UniqueFile handle)
    : TFileStream(std::move(handle)), FileName(fileName) {}

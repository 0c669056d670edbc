// Block reading of an existing file with the shared error code.
#include "K4BlockFile.h"
#include "K4Files.h"

std::int32_t BlockFile::Open(const char* path) {
    handle_.Reset(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_ ? 0 : LastErrorCode();
}

std::int32_t BlockFile::Size(std::int64_t& size) const {
    LARGE_INTEGER li{};
    if (!GetFileSizeEx(handle_.Get(), &li)) return LastErrorCode();
    size = li.QuadPart;
    return 0;
}

std::int32_t BlockFile::Seek(std::int64_t position) {
    if (position < 0) return ERROR_NEGATIVE_SEEK;
    LARGE_INTEGER li{};
    li.QuadPart = position;
    return SetFilePointerEx(handle_.Get(), li, nullptr, FILE_BEGIN) ? 0 : LastErrorCode();
}

std::int32_t BlockFile::Position(std::int64_t& position) const {
    LARGE_INTEGER zero{}, now{};
    if (!SetFilePointerEx(handle_.Get(), zero, &now, FILE_CURRENT)) return LastErrorCode();
    position = now.QuadPart;
    return 0;
}

std::int32_t BlockFile::Read(void* buffer, std::uint32_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    // ReadFile may deliver less than asked before the end; only a read of 0 bytes
    // means the end of the file.
    while (count > 0) {
        DWORD got = 0;
        if (!ReadFile(handle_.Get(), out, count, &got, nullptr)) return LastErrorCode();
        if (got == 0) return ShortReadError;
        out += got;
        count -= got;
    }
    return 0;
}

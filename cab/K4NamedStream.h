// File streams over one system file handle, the open modes the engine uses and the
// translation of the cabinet library's open flags into those modes.
#pragma once
#include <cstdint>
#include <string>
#include <windows.h>
#include "ShortString.h"
#include "UniqueHandle.h"

// A mode is a 16-bit word: 0xFFFF creates (replacing an existing file); otherwise
// the low bits choose the access (0 read, 1 write, 2 read and write) and the bits
// 0x10..0x40 the sharing (0x10 exclusive, 0x20 others may read, 0x30 others may
// write, 0x40 others may read and write; 0 is exclusive as well).
constexpr std::uint16_t ModeCreate = 0xFFFF;
constexpr std::uint16_t ModeReadNotShared = 0x0000;
constexpr std::uint16_t ModeReadShared = 0x0040;
constexpr std::uint16_t ModeWriteShared = 0x0041;

// The mode for the cabinet library's open flags (only their low 16 bits count).
std::uint16_t OpenFlagsToMode(int flags);

// What CreateFile is asked for a mode.
struct CreateFileArgs {
    DWORD access;
    DWORD share;
    DWORD disposition;
};
CreateFileArgs CreateArgsForMode(std::uint16_t mode);

// A stream that owns one file handle. Opening or creating fails with K4FileError
// "Cannot open file %s" / "Cannot create file %s"; Read, Write and Seek report a
// refused call as -1.
class TFileStream {
public:
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    HANDLE Handle() const { return handle_.Get(); }
    INT_PTR Id() const { return reinterpret_cast<INT_PTR>(handle_.Get()); }

    std::int32_t Read(void* buffer, std::uint32_t count);
    std::int32_t Write(const void* buffer, std::uint32_t count);
    // Origin 0 from the start, 1 from the current position, 2 from the end; the
    // result is the new position from the start.
    std::int32_t Seek(std::int32_t offset, int origin);

protected:
    TFileStream(const char* path, std::uint16_t mode, const ShortString& shownPath);
    TFileStream(const wchar_t* path, std::uint16_t mode, const ShortString& shownPath);
    explicit TFileStream(UniqueFile handle) : handle_(std::move(handle)) {}
    ~TFileStream() = default;

private:
    UniqueFile handle_;
};

// A file stream that remembers the name it was opened with (cut at 255 characters).
class TNamedStream : public TFileStream {
public:
    // Opens or creates `fileName` through the single-byte call.
    TNamedStream(const ShortString& fileName, std::uint16_t mode);
    // Opens or creates the file under its full Unicode name; `fileName` is that name
    // in the system code page, kept for messages.
    TNamedStream(const std::wstring& widePath, const ShortString& fileName, std::uint16_t mode);
    // Takes over an open handle.
    TNamedStream(const ShortString& fileName, UniqueFile handle);

    ShortString FileName;
};

// The failure message of a stream that could not open or create `path`.
ShortString StreamFailureText(std::uint16_t mode, std::string_view path);
// Raises that failure (K4FileError) for `shownPath`.
[[noreturn]] void FailStream(std::uint16_t mode, const ShortString& shownPath);

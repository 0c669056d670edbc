// An existing file opened for block reading at byte positions, reporting each step
// with the shared error code: 0, the system error of the failed call, or 100 for a
// read that delivered fewer bytes than asked.
#pragma once
#include <cstdint>
#include "UniqueHandle.h"


// The error code of a read that met the end of the file before the count was reached.
inline constexpr std::int32_t ShortReadError = 100;

class BlockFile {
public:
    BlockFile() = default;
    BlockFile(BlockFile&&) = default;
    BlockFile& operator=(BlockFile&&) = default;

    // Opens an existing file for reading (never creates one; others may read it
    // too); 0 or the system error.
    std::int32_t Open(const char* path);

    // The file's length in bytes; 0 or the system error.
    std::int32_t Size(std::int64_t& size) const;

    // Moves to an absolute byte position; a negative one fails with the system's
    // negative-seek error and leaves the position where it was.
    std::int32_t Seek(std::int64_t position);
    std::int32_t Position(std::int64_t& position) const;

    // Reads exactly count bytes into buffer: 0, the system error, or ShortReadError
    // when the end of the file came first (the bytes before it are in buffer).
    std::int32_t Read(void* buffer, std::uint32_t count);

private:
    UniqueFile handle_;
};

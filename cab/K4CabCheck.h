// The cabinet check's reads from an open cabinet file, for the extraction pass and
// for anything else that checks a cabinet on disk.
#pragma once
#include <windows.h>
#include "K4CabFormat.h"

// An open file behind the check's read-at interface; the handle stays the caller's.
class CabinetFile : public cabfmt::ReadAt {
public:
    explicit CabinetFile(HANDLE file) : file_(file) {}
    std::uint64_t Size() override;
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    HANDLE file_;
};

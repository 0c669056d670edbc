// The cabinet check's reads from an open cabinet file, for the extraction pass and
// for anything else that checks a cabinet on disk.
#pragma once
#include <windows.h>
#include "K4CabFormat.h"
#include "UniqueHandle.h"

// An open file behind the check's read-at interface; the handle stays the caller's.
// Its bytes are seen in place through a mapped view of bounded size where the system
// maps the file, which spares copying every block once more; read otherwise.
class CabinetFile : public cabfmt::ReadAt {
public:
    // `mapped` false: always read (for comparisons; the extraction maps).
    explicit CabinetFile(HANDLE file, bool mapped = true);
    ~CabinetFile();
    CabinetFile(const CabinetFile&) = delete;
    CabinetFile& operator=(const CabinetFile&) = delete;

    std::uint64_t Size() override { return size_; }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override;
    const unsigned char* View(std::uint64_t offset, std::size_t count) override;

private:
    void Unmap();

    HANDLE file_;
    std::uint64_t size_ = 0;
    UniqueKernelHandle mapping_;
    const unsigned char* view_ = nullptr;
    std::uint64_t viewStart_ = 0;
    std::size_t viewSize_ = 0;
};

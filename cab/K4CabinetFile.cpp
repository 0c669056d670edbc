// A cabinet on disk for the check: its bytes in place through bounded mapped views,
// or read; and its compressed blocks decoded ahead of the extraction pass, with the
// file held so that no one writes to it in between.
#include "K4CabinetFile.h"

namespace {
// Views of this size at most: the pages a view touches count as the program's memory
// until it is unmapped, so memory stays flat in the cabinet's size.
constexpr std::uint64_t ViewSize = 8 << 20;
}  // namespace

CabinetFile::CabinetFile(HANDLE file, bool mapped) : file_(file) {
    LARGE_INTEGER size;
    if (GetFileSizeEx(file_, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
    if (mapped && size_ > 0) mapping_.Reset(CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr));
}

CabinetFile::~CabinetFile() { Unmap(); }

void CabinetFile::Unmap() {
    if (view_) UnmapViewOfFile(view_);
    view_ = nullptr;
    viewSize_ = 0;
}

const unsigned char* CabinetFile::View(std::uint64_t offset, std::size_t count) {
    if (!mapping_ || offset > size_ || count > size_ - offset || count > ViewSize / 2) return nullptr;
    if (!view_ || offset < viewStart_ || offset + count > viewStart_ + viewSize_) {
        Unmap();
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        // The granularity is a power of two (64 KB): masking rounds down without a
        // 64-bit division, which 32-bit code would take from the compiler's library.
        const std::uint64_t start = offset & ~std::uint64_t{system.dwAllocationGranularity - 1};
        const std::uint64_t left = size_ - start;
        viewSize_ = static_cast<std::size_t>(left < ViewSize ? left : ViewSize);
        view_ = static_cast<const unsigned char*>(MapViewOfFile(
            mapping_.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32), static_cast<DWORD>(start), viewSize_));
        if (!view_) {
            mapping_.Reset();   // reads from here on
            viewSize_ = 0;
            return nullptr;
        }
        viewStart_ = start;
    }
    return view_ + (offset - viewStart_);
}

bool CabinetFile::Read(std::uint64_t offset, void* buffer, std::size_t count) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(file_, buffer, static_cast<DWORD>(count), &read, &at) && read == count;
}

// Held without write sharing until the pass ends: the bytes checked are the bytes
// the library decodes.
CabinetDecoding::CabinetDecoding(const char* path)
    : file_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                        nullptr)),
      source_(file_.Get()),
      decoding_(source_) {}

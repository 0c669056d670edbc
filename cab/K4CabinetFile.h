// A cabinet on disk for the check: its bytes through bounded mapped views or reads,
// for the extraction pass and for anything else that checks a cabinet on disk; and
// the decoding of its compressed blocks ahead of the pass.
#pragma once
#include <windows.h>
#include <cstdint>
#include "K4CabFormat.h"
#include "K4MszipDecode.h"
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

// A cabinet's compressed blocks decoded ahead of its extraction pass, in steps, from a
// handle that keeps writers out from the first step until the pass ends: the bytes
// decoded are the bytes the library then reads.
class CabinetDecoding {
public:
    // Opens the cabinet for reading, with readers alone sharing it; Opened() tells
    // whether it could.
    explicit CabinetDecoding(const char* path);
    bool Opened() const { return file_.Valid(); }
    CabinetDecoding(const CabinetDecoding&) = delete;
    CabinetDecoding& operator=(const CabinetDecoding&) = delete;

    // Decodes at most `blocks` more compressed blocks; true once finished.
    bool Step(std::uint32_t blocks) { return decoding_.Step(blocks); }
    bool Finished() const { return decoding_.Finished(); }
    // The whole check (cabfmt::Check), the decoding finished from where it stands.
    cabfmt::Result Check(const cabfmt::Options& options) { return cabfmt::Check(source_, options, decoding_); }

private:

    UniqueFile file_;
    CabinetFile source_;
    cabfmt::Decoding decoding_;
};

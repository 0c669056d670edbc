// The extraction pass's check of the whole cabinet before its first file is
// created, its compressed blocks decoded ahead of it, and its account of which
// members were written: the system library decodes damaged blocks without a word
// (or crashes on them), and may skip a member it cannot place.
#include "K4CabCheck.h"
#include <algorithm>
#include "K4CabNames.h"
#include "K4TextEncoding.h"
#include "K4CabWork.h"
#include "K4Error.h"

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

namespace {

std::string ShowStoredName(std::string_view stored, bool utf) {
    return MemberDisplayName(std::string(stored).c_str(), utf ? _A_NAME_IS_UTF : 0).Str();
}

// Letters folded as the file system compares names: upper case over the whole of
// Unicode, not only ASCII, so "É.txt" and "é.txt" are one file.
std::string FoldStoredName(std::string_view stored, bool utf) {
    std::wstring wide = WideFromCodePage(stored, utf ? CP_UTF8 : CP_ACP);
    if (!wide.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()), wide.data(),
                     static_cast<int>(wide.size()));
    return NarrowFromWide(wide, CP_UTF8);
}

std::size_t Room(std::size_t used) { return used < ShortString::MaxLength ? ShortString::MaxLength - used : 0; }

}  // namespace

bool TDecompr::CheckCabinet() {
    expected_.clear();
    written_.clear();
    nextMember_ = writtenCount_ = 0;
    // Decoded ahead in the window's idle time, or here from the start.
    if (!decoding_) {
        ownDecoding_ = std::make_unique<CabinetDecoding>(CabinetPath.CStr().text);
        if (!ownDecoding_->Opened()) {
            ownDecoding_.reset();
            throw K4FileError(StreamFailureText(ModeReadShared, CabinetPath.View()).Str());
        }
        decoding_ = ownDecoding_.get();
    }
    cabfmt::Options options;
    // What a target path may hold beyond the target folder, in the units each
    // kind of name is created in.
    options.maxNameLength = Room(TargetDir.Length());
    options.maxUtfNameLength = Room(wideTargetDir_.size());
    options.showName = ShowStoredName;
    options.foldName = FoldStoredName;
    cabfmt::Result result = decoding_->Check(options);
    if (!result.Sound()) {
        ReleaseDecoding();
        RecordCabFailure(-1, ShortString(result.text));
        return false;
    }
    expected_ = std::move(result.members);
    written_ = std::vector<unsigned char>(expected_.size());  // all 0: none written yet
    return true;
}

void TDecompr::ReleaseDecoding() {
    ownDecoding_.reset();
    decoding_ = nullptr;
}

std::size_t TDecompr::MemberIndex(const char* stored) {
    // The library hands members over in the order of the file table; any other
    // order is looked up.
    if (nextMember_ < expected_.size() && expected_[nextMember_].name == stored) return nextMember_++;
    for (std::size_t i = 0; i < expected_.size(); ++i)
        if (!written_[i] && expected_[i].name == stored) return i;
    return NoMember;
}

void TDecompr::MemberWritten(std::size_t index) {
    if (index >= written_.size() || written_[index]) return;
    written_[index] = 1;
    ++writtenCount_;
}

bool TDecompr::AllMembersWritten() const { return writtenCount_ == expected_.size(); }

ShortString TDecompr::FirstUnwrittenMember() const {
    const auto missing = std::find(written_.begin(), written_.end(), 0);
    if (missing == written_.end()) return {};
    const cabfmt::Member& m = expected_[static_cast<std::size_t>(missing - written_.begin())];
    return ShortString(ShowStoredName(m.name, m.Utf()));
}

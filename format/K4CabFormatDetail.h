// Inside the cabinet format check: the window over the cabinet's bytes and the
// checker's state, shared by its two source files (structure and names).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>
#include "K4CabFormat.h"
#include "K4LittleEndian.h"

namespace cabfmt::detail {

using le::Read16;
using le::Read32;

// Messages are joined from pieces; only a fault builds one. Out of line: every fault
// site would otherwise carry its own copy, in a program every archive ships.
std::string Cat(std::initializer_list<std::string_view> parts);
// The number in decimal digits, appended to `out`.
void AppendNumber(std::string& out, std::uint64_t n);

// One piece of a fault's text: words, a number, or a member's name as the user
// reads it, in quotes. The checker joins a fault's pieces in place, so that a fault
// site holds no string temporaries, nor the code that would clean them up.
class Piece {
public:
    // Words written in the code: their length is known when compiling.
    template <std::size_t N>
    Piece(const char (&text)[N]) : kind_(Kind::Text), text_(text, N - 1) {}
    Piece(const std::string& text) : kind_(Kind::Text), text_(text) {}
    Piece(std::uint64_t number) : kind_(Kind::Number), number_(number) {}
    Piece(const Member& member) : kind_(Kind::Name), member_(&member) {}

private:
    friend class Checker;
    enum class Kind { Text, Number, Name };
    Kind kind_;
    union {   // the one that kind_ names
        std::string_view text_;
        std::uint64_t number_;
        const Member* member_;
    };
};

// A folder entry: where its first data block stands (32 bits), how many blocks it has
// and its compression (16 bits each), then the folder reserve.
inline constexpr std::uint32_t FolderEntrySize = 8;
inline constexpr std::uint32_t FolderDataStartField = 0;
inline constexpr std::uint32_t FolderBlockCountField = 4;
inline constexpr std::uint32_t FolderCompressionField = 6;
// A file entry: its size and offset in its folder's data (32 bits each), its folder,
// date, time and attributes (16 bits each), then its name.
inline constexpr std::uint32_t FileEntrySize = 16;   // without the name
inline constexpr std::uint32_t FileSizeField = 0;
inline constexpr std::uint32_t FileOffsetField = 4;
inline constexpr std::uint32_t FileFolderField = 8;
inline constexpr std::uint32_t FileDateField = 10;
inline constexpr std::uint32_t FileTimeField = 12;
inline constexpr std::uint32_t FileAttribsField = 14;
// A data block's header: its checksum (32 bits), its compressed and uncompressed
// sizes (16 bits each), then the block reserve.
inline constexpr std::uint32_t BlockHeaderSize = 8;  // without the reserved bytes
inline constexpr std::uint32_t BlockChecksumField = 0;
inline constexpr std::uint32_t BlockCompressedField = 4;
inline constexpr std::uint32_t BlockUncompressedField = 6;
// The reserve sizes behind the fixed header when FlagReservePresent is set: the
// header's (16 bits), then each folder entry's and each data block's (8 bits each).
inline constexpr std::uint32_t ReserveSizesSize = 4;
inline constexpr std::uint32_t FolderReserveField = 2;
inline constexpr std::uint32_t BlockReserveField = 3;
inline constexpr std::uint16_t MaxHeaderReserve = 60000;
// Names and set links are at most 255 characters and their NUL.
inline constexpr std::size_t MaxTextBytes = 256;
// File entries with a folder index from here on belong to a set of cabinets.
inline constexpr std::uint16_t FolderContinuedFromPrev = 0xFFFD;
// The largest data a compressed block may hold (cbData) beside its 32 KB of output.
inline constexpr std::uint32_t MaxBlockCompressed = 32768 + 6144;

// A window of the cabinet's bytes: the tables and the blocks (each far smaller
// than the window) come from a few large reads, and nothing more is ever held.
class Window {
public:
    static constexpr std::size_t WindowSize = 1 << 20;
    // `size`: the most read at once; no single piece asked for may be larger.
    explicit Window(ReadAt& source, std::size_t size = WindowSize) : source_(source), buffer_(size) {}
    void SetEnd(std::uint64_t end) {
        end_ = end;
        have_ = 0;
    }
    std::uint64_t End() const { return end_; }
    // The `count` bytes at `offset`, valid until the next call; null when they reach
    // past the end, or when the read failed (then Failed() tells).
    const unsigned char* At(std::uint64_t offset, std::size_t count);
    bool Failed() const { return failed_; }

private:
    ReadAt& source_;
    std::vector<unsigned char> buffer_;
    std::uint64_t end_ = 0, start_ = 0;
    std::size_t have_ = 0;
    bool failed_ = false;
};

struct Folder {
    std::uint32_t dataStart = 0;
    std::uint16_t blocks = 0;
    std::uint16_t compression = 0;
    std::uint64_t uncompressed = 0;
};

// Whether a data block's stored checksum holds over its data and its two length
// fields; writers differ on whether the block's reserved bytes, which follow them,
// count too: either is sound. Counted for the tests (K4FormatSeams.h).
bool BlockSumMatches(std::uint32_t stored, const unsigned char* header, const unsigned char* data, std::size_t size,
                     std::uint8_t reserve);

class Checker {
public:
    Checker(ReadAt& source, const Options& options, std::size_t windowSize = Window::WindowSize)
        : source_(source), options_(options), window_(source, windowSize) {}
    // The whole check, the decoding (of the same source) finished last.
    Result Run(Decoding& decoding);
    // The header and the folder table alone: where each folder's blocks are, for the
    // decoding of the compressed ones. A fault is in Outcome().
    bool Layout() { return Header() && Folders(); }
    std::vector<Folder> TakeFolders() { return std::move(folders_); }
    std::uint8_t BlockReserve() const { return blockReserve_; }
    std::uint64_t End() const { return window_.End(); }

private:
    bool Header();
    bool Reserve();
    bool SetLinks();
    bool Folders();
    bool Files();
    bool UniqueNames();
    bool AllBlocks();
    bool Blocks(std::uint32_t index, Folder& folder);
    bool Ranges();
    bool Decoded(Decoding& decoding);   // K4MszipDecode.cpp

    static bool KnownCompression(std::uint16_t compression);
    // Reads a NUL-terminated text at position_ and moves past it.
    bool Text(std::string& out);

    std::string Show(const Member& m) const;
    std::string Quoted(const Member& m) const;
    bool Fail(Fault fault, std::string text);
    // The fault, its text the lead and the pieces.
    bool Fail(Fault fault, std::string_view lead, std::initializer_list<Piece> pieces);
    void Append(std::initializer_list<Piece> pieces);
    bool Damaged(std::initializer_list<Piece> what);
    // A piece that is not there: a damaged cabinet, or one that could not be read.
    bool Missing(std::initializer_list<Piece> what);
    // A data block (counted from 0) at fault, and what is wrong with it.
    bool BlockDamaged(std::uint32_t folder, std::uint32_t block, std::initializer_list<Piece> what);
    bool BlockMissing(std::uint32_t folder, std::uint32_t block);

    ReadAt& source_;
    const Options& options_;
    Window window_;
    Result result_;
    std::uint64_t position_ = 0;
    std::uint32_t filesStart_ = 0;
    std::uint16_t folderCount_ = 0, fileCount_ = 0, flags_ = 0;
    std::uint8_t folderReserve_ = 0, blockReserve_ = 0;
    std::vector<Folder> folders_;
    std::vector<std::uint64_t> ends_;   // each member's end in its folder's data
    const Decoding* ahead_ = nullptr;   // the decoding whose checked blocks count
};

}  // namespace cabfmt::detail

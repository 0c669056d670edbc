// Cabinet files through libgcab: writing one from source files, reading back its file list,
// and the header checks that decide whether the extractor can use a given cabinet.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "K4CabFormat.h"
#include "SourceFiles.h"

namespace k4pack {

enum class Compression { None, Mszip };

// The cabinet format's ceiling for the uncompressed data of one folder; every file goes
// into one folder here.
inline constexpr std::uint64_t kMaxFolderBytes = 0x7FFF8000;
inline constexpr std::size_t kCabinetHeaderSize = cabfmt::HeaderSize;

struct CabinetHeader {
    std::uint32_t size = 0;  // cbCabinet: the cabinet's own idea of its length
    std::uint16_t folders = 0;
    std::uint16_t files = 0;
    std::uint16_t flags = 0;
};

// Parses the fixed header from the first kCabinetHeaderSize bytes of `head` (or fewer when
// there are not that many), of a cabinet of which `available` bytes exist. Throws PackError
// for a missing "MSCF", a cabinet longer than the bytes available (truncated), and a cabinet
// that is part of a multi-cabinet set (the extractor carries one cabinet only).
CabinetHeader ParseCabinetHeader(std::span<const std::uint8_t> head, std::uint64_t available);

struct CabinetEntry {
    std::string name;
    std::uint32_t size = 0;
    std::string modified;  // "YYYY-MM-DD hh:mm:ss" as stored (local time), or "-" if invalid
    std::uint32_t folder = 0;     // index of the cabinet folder holding the data
    std::string compression;      // that folder's: "none", "mszip", "quantum", "lzx"
};

// Told before each file goes into the cabinet being written.
class WriteObserver {
public:
    virtual void FileStarted(std::uint64_t size) = 0;

protected:
    ~WriteObserver() = default;
};

// Writes `files` in this order into a new cabinet at `cabinetPath`. Each file's modification
// time is stored as local time, as the extractor reads it back; times outside what a cabinet
// can hold (1980 to 2107) are clamped. Throws PackError when libgcab fails.
void WriteCabinet(const std::vector<SourceFile>& files, Compression compression,
                  const std::string& cabinetPath, WriteObserver* observer = nullptr);

// Lists the cabinet that starts at byte `offset` of the file at `path`. Throws PackError
// when libgcab cannot read its header or file list.
std::vector<CabinetEntry> ListCabinet(const std::string& path, std::uint64_t offset);

// The stored DOS date and time of a modification time, local, clamped to 1980-01-01 00:00:00
// to 2107-12-31 23:59:58, seconds rounded down to even.
struct DosStamp {
    int year, month, day, hour, minute, second;
};
DosStamp ToDosStamp(std::time_t modified);
// The stamp as text, "YYYY-MM-DD hh:mm:ss", as ListCabinet gives it.
std::string FormatDosStamp(const DosStamp& stamp);

// The name of a folder's compression as CabinetEntry gives it.
std::string CompressionName(int comptype);

}  // namespace k4pack

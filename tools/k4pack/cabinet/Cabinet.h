// Cabinet files through the writer and reader of format/ (K4CabWriter.h, K4CabReader.h):
// writing one from source files and reading back its file list. Whether the extractor can
// use a given cabinet is its own check's to say (CabinetCheck.h).
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "K4CabFormat.h"
#include "SourceFiles.h"

namespace k4pack {

enum class Compression { None, Mszip };

// How a cabinet is written: its compression and the threads that compress (0: one per
// core; the bytes are the same for any number).
struct WriteSettings {
    WriteSettings(Compression compression = Compression::Mszip, unsigned threads = 0)
        : compression(compression), threads(threads) {}
    Compression compression;
    unsigned threads;
};
inline constexpr int kMaxThreads = 256;

// The cabinet format's ceiling for the uncompressed data of one folder; every file goes
// into one folder here.
inline constexpr std::uint64_t kMaxFolderBytes = 0x7FFF8000;
struct CabinetEntry {
    std::string name;
    std::uint32_t size = 0;
    std::string modified;  // "YYYY-MM-DD hh:mm:ss" as stored (local time), or "-" if invalid
    std::uint32_t folder = 0;     // index of the cabinet folder holding the data
    std::string compression;      // that folder's: "none", "mszip", "quantum", "lzx"
    bool utf8Name = false;        // the name is marked as UTF-8 (else: the cabinet author's code page)
};

// Told before each file goes into the cabinet being written, from inside the writer's
// reading: an observer only watches, and nothing it meets may abort the cabinet, so it
// throws nothing.
class WriteObserver {
public:
    virtual void FileStarted(std::uint64_t size) noexcept = 0;

protected:
    ~WriteObserver() = default;
};

// Writes `files` in this order into a new cabinet at `cabinetPath`, one folder holding
// them all, each with the archive attribute. Each file's modification time is stored as
// local time, as the extractor reads it back; times outside what a cabinet can hold (1980
// to 2107) are clamped. Throws PackError for what a cabinet cannot hold, a file that
// cannot be read or no longer has the size it was listed with, and a failed write.
void WriteCabinet(const std::vector<SourceFile>& files, const WriteSettings& settings,
                  const std::string& cabinetPath, WriteObserver* observer = nullptr);

// Lists the cabinet that starts at byte `offset` of the file at `path`. Throws PackError
// when the file cannot be opened or its header or file list cannot be read.
std::vector<CabinetEntry> ListCabinet(const std::string& path, std::uint64_t offset);

// The stored DOS date and time of a modification time, local, clamped to 1980-01-01 00:00:00
// to 2107-12-31 23:59:58, seconds rounded down to even.
struct DosStamp {
    int year, month, day, hour, minute, second;
};
DosStamp ToDosStamp(std::time_t modified);
// The stamp as text, "YYYY-MM-DD hh:mm:ss", as ListCabinet gives it.
std::string FormatDosStamp(const DosStamp& stamp);

// The stamp of a stored DOS date and time; nothing for a date or time no calendar holds.
std::optional<DosStamp> FromDosFields(std::uint16_t date, std::uint16_t time);

// The name of a folder's compression as CabinetEntry gives it.
std::string CompressionName(int comptype);

}  // namespace k4pack

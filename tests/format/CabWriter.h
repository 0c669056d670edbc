// A byte-by-byte writer of Microsoft cabinets for tests: uncompressed or MSZIP
// folders, every header field and checksum either correct or deliberately wrong, so
// that a test can hand the extractor exactly the hostile cabinet it means to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cabw {

// Header flags and special folder indices of the cabinet format.
inline constexpr std::uint16_t FlagPrevCabinet = 0x0001;
inline constexpr std::uint16_t FlagNextCabinet = 0x0002;
inline constexpr std::uint16_t FlagReservePresent = 0x0004;
inline constexpr std::uint16_t FolderContinuedFromPrev = 0xFFFD;
inline constexpr std::uint16_t FolderContinuedToNext = 0xFFFE;
// An uncompressed data block holds at most this many bytes.
inline constexpr std::size_t MaxBlockData = 32768;

// The DOS date and time of 2021-03-04 05:06:08.
inline constexpr std::uint16_t DefaultDate = ((2021 - 1980) << 9) | (3 << 5) | 4;
inline constexpr std::uint16_t DefaultTime = (5 << 11) | (6 << 5) | (8 / 2);

struct Member {
    std::string name;  // bytes as stored, without the terminating NUL
    std::string data;  // the bytes this member contributes to the folder
    std::uint16_t date = DefaultDate;
    std::uint16_t time = DefaultTime;
    std::uint16_t attribs = 0x20;  // archive
    std::uint16_t folder = 0;      // the folder whose data holds this member
    // Stored instead of the true values when set.
    std::optional<std::uint32_t> declaredSize{};    // cbFile
    std::optional<std::uint32_t> declaredOffset{};  // uoffFolderStart
    std::optional<std::uint16_t> folderIndex{};     // iFolder
};

struct Cabinet {
    std::vector<Member> members;
    std::uint16_t setId = 0x1234;
    std::uint16_t flags = 0;
    std::uint16_t folders = 1;       // members name theirs with Member::folder
    std::uint8_t versionMajor = 1, versionMinor = 3;
    // Reserved bytes after each data block's lengths (sets FlagReservePresent), and
    // whether the checksum covers them.
    std::uint8_t blockReserve = 0;
    bool checksumCoversReserve = true;
    // Written after the fixed header when the matching flag is set.
    std::string prevCabinet{}, prevDisk{}, nextCabinet{}, nextDisk{};

    // Stored instead of the true values when set.
    std::optional<std::uint16_t> declaredFiles{};       // cFiles
    std::optional<std::uint32_t> declaredLength{};      // cbCabinet
    std::optional<std::uint32_t> declaredFilesStart{};  // coffFiles
    std::optional<std::uint32_t> declaredDataStart{};   // coffCabStart of the first folder
    std::optional<std::uint16_t> declaredBlocks{};      // cCFData of the first folder
    std::optional<std::uint16_t> declaredCompression{}; // typeCompress of every folder

    // Data blocks (0-based, counted over all folders in order) written with a
    // checksum one off the true one.
    std::vector<std::size_t> badChecksumBlocks{};
    // Data blocks written with a checksum of 0 ("none").
    bool noChecksums = false;
    // The last block written as the first part of a block that goes on in the next
    // cabinet: its uncompressed length 0.
    bool lastBlockContinues = false;
    // Largest block; smaller values give more blocks for the same data.
    std::size_t blockSize = MaxBlockData;
    // Folders compressed with MSZIP: each block "CK" and a raw deflate stream whose
    // history is the previous block when blocks are whole (zlib), instead of stored.
    bool mszip = false;
    // Changes a block's data as written ("CK" and the stream when compressed) and its
    // stated uncompressed size before its checksum is taken; `block` is 0-based over
    // all folders.
    std::function<void(std::size_t block, std::string& data, std::uint16_t& uncompressed)> editBlock{};
};

// The cabinet's bytes.
std::string Build(const Cabinet& cabinet);
// Where the first data block starts in Build(cabinet)'s bytes.
std::size_t DataStart(const Cabinet& cabinet);
// Where the data of data block `block` (0-based over all folders) starts, and its size.
std::size_t BlockDataStart(const Cabinet& cabinet, std::size_t block);
std::size_t BlockDataSize(const Cabinet& cabinet, std::size_t block);

// The format's data-block checksum of `size` bytes, continuing from `seed`.
std::uint32_t Checksum(const void* bytes, std::size_t size, std::uint32_t seed);
// The checksum stored for one data block: over the data, then over the block's
// two length fields (4 bytes, as stored).
std::uint32_t BlockChecksum(const std::string& blockHeaderLengths, const std::string& data);

// One member with the given name and data, every other field true.
Cabinet OneFile(const std::string& name, const std::string& data);
// Writes a new set identifier into any cabinet's header (gcab's too).
void PatchSetId(std::string& cabinet, std::uint16_t setId);

}  // namespace cabw

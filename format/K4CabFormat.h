// The check of a whole cabinet file against the cabinet format before anything is
// extracted from it: header, folders, file entries, every data block and its
// checksum, and the members' names. Platform-free: it reads through a small read-at
// interface and reports a fault as a value, so the extractor and the packer share it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cabfmt {

// Where the check reads the cabinet.
class ReadAt {
public:
    virtual std::uint64_t Size() = 0;
    // Reads exactly `count` bytes at `offset`; false when that many are not there or
    // the read fails.
    virtual bool Read(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    // The `count` bytes at `offset` in place, without a copy, valid until the next call
    // (a mapped file gives them so); null where the source cannot, and Read serves.
    virtual const unsigned char* View(std::uint64_t, std::size_t) { return nullptr; }

protected:
    ~ReadAt() = default;
};

// The cabinet format's fixed sizes and limits.
inline constexpr std::uint32_t HeaderSize = 36;
inline constexpr std::uint32_t MaxBlockUncompressed = 32768;
// The fixed header's fields, by their offsets from the cabinet's first byte.
inline constexpr unsigned char Signature[4] = {'M', 'S', 'C', 'F'};
inline constexpr std::uint32_t SignatureSize = sizeof Signature;
inline constexpr std::uint32_t CabinetSizeField = 8;   // 32 bits: the cabinet's own length
inline constexpr std::uint32_t FilesStartField = 16;   // 32 bits: where the file table begins
inline constexpr std::uint32_t MinorVersionField = 24;
inline constexpr std::uint32_t MajorVersionField = 25;
inline constexpr std::uint32_t FolderCountField = 26;  // 16 bits
inline constexpr std::uint32_t FileCountField = 28;    // 16 bits
inline constexpr std::uint32_t FlagsField = 30;        // 16 bits
inline constexpr std::uint32_t SetIdField = 32;        // 16 bits: the set's identifier
inline constexpr std::uint32_t CabinetIndexField = 34; // 16 bits: this cabinet's place in its set
inline constexpr std::uint8_t MajorVersion = 1;
inline constexpr std::uint8_t MinorVersion = 3;
inline constexpr std::uint16_t FlagPrevCabinet = 0x0001;
inline constexpr std::uint16_t FlagNextCabinet = 0x0002;
inline constexpr std::uint16_t FlagReservePresent = 0x0004;
// A cabinet with either is one of a set: the others hold the rest.
inline constexpr std::uint16_t FlagsOfASet = FlagPrevCabinet | FlagNextCabinet;

// Whether these (at least SignatureSize) bytes begin a cabinet.
inline bool HasSignature(const unsigned char* bytes) {
    for (std::uint32_t i = 0; i < SignatureSize; ++i)
        if (bytes[i] != Signature[i]) return false;
    return true;
}
// A member whose name is stored as UTF-8 carries this attribute.
inline constexpr std::uint16_t AttribNameIsUtf = 0x80;

enum class Fault {
    None,
    Unreadable,          // the file could not be read
    Damaged,             // the structure or a checksum is wrong
    ContinuedFromPrev,   // part of a set: an earlier cabinet holds the start
    ContinuedToNext,     // part of a set: a later cabinet holds the rest
    UnsafeName,          // a member's name must not or cannot be created
    DuplicateName,       // two members would be created under one name
};

struct Member {
    std::string name;          // as stored, without the terminating NUL
    std::uint16_t attribs = 0;
    std::uint32_t size = 0;
    std::uint16_t folder = 0;
    bool Utf() const { return (attribs & AttribNameIsUtf) != 0; }
};

struct Result {
    Fault fault = Fault::None;
    std::string text;              // what is wrong and where; empty when sound
    std::vector<Member> members;   // in the order of the file table (when sound)
    bool Sound() const { return fault == Fault::None; }
};

// How names are judged and shown; every field has a platform-free default.
struct Options {
    // Longest name (in bytes; in UTF-16 units for UTF-8 names) that may be created
    // below the target folder.
    std::size_t maxNameLength = static_cast<std::size_t>(-1);
    std::size_t maxUtfNameLength = static_cast<std::size_t>(-1);
    // The name as the user should read it in a message.
    std::string (*showName)(std::string_view stored, bool utf) = nullptr;
    // The name with letters folded as the file system compares them: two members
    // with the same folded name would land in one file.
    std::string (*foldName)(std::string_view stored, bool utf) = nullptr;
};

// The check's name rules, for names that are not in a cabinet yet (the packer's, before
// it writes one): whether `member`'s name may be created (well-formed UTF-8 where it is
// flagged so, safe and creatable by K4MemberNames.h, within the options' length), and
// which member meets an earlier one when created (the same name as the file system
// compares names, or a file where another member needs a folder): the later of two files,
// the file itself for a file that is also a folder; members.size() when none does.
bool NameIsSafe(const Member& member, const Options& options);
std::size_t DuplicateName(const std::vector<Member>& members, const Options& options);

class Decoding;

// Checks the whole cabinet, every MSZIP block decoded once (K4MszipDecode.h). Memory
// stays flat in its size: data blocks are read in a window of bounded size and
// never kept.
Result Check(ReadAt& source, const Options& options = {});
// The same, the decoding taken up where `decoding` (of the same source) left off:
// blocks it has decoded are not decoded again. Its fault, if any, is reported only
// when the structure and the names are sound, as the check would find it.
Result Check(ReadAt& source, const Options& options, Decoding& decoding);

// The format's checksum of `size` bytes, continuing from `seed`: 32-bit
// little-endian words XORed, the 1-3 trailing bytes taken most significant first.
std::uint32_t Checksum(const void* bytes, std::size_t size, std::uint32_t seed);

}  // namespace cabfmt

// Writing one cabinet (never a set) from files read in order: stored or MSZIP folders,
// every block but a folder's last holding exactly 32 KB, every block with its checksum.
// MSZIP blocks are compressed in batches on every core and written in order; the bytes
// are the same for any number of threads. Platform-free: the packer and the tests link
// it, the extractor does not.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace cabwrite {

enum class Compression : std::uint16_t { Stored = 0, Mszip = 1 };

struct Entry {
    std::string name;             // as stored, without its NUL
    std::uint32_t size = 0;
    std::uint16_t date = 0;       // DOS date and time
    std::uint16_t time = 0;
    std::uint16_t attribs = 0x20; // archive
    std::uint16_t folder = 0;     // a folder's entries follow each other; folders count up from 0
};

// Where the entries' bytes come from: each entry from its start to its end, in table order.
class Input {
public:
    // Entry `index` begins: its bytes come next (told for empty entries too).
    virtual void Begin(std::size_t index) = 0;
    // The next `count` bytes of the entry begun; throws when they cannot be read.
    virtual void Read(unsigned char* out, std::size_t count) = 0;

protected:
    ~Input() = default;
};

// Where the cabinet goes: written in order, the header written again at the end.
class Output {
public:
    virtual void Write(const unsigned char* bytes, std::size_t count) = 0;
    virtual void Rewrite(std::uint64_t offset, const unsigned char* bytes, std::size_t count) = 0;

protected:
    ~Output() = default;
};

struct Options {
    Compression compression = Compression::Mszip;
    unsigned threads = 0;   // 0: one for every core
    int level = 6;          // zlib's
};

// What a cabinet cannot hold; the text says what and the limit.
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A folder's data: at most 65535 blocks of 32 KB.
inline constexpr std::uint64_t MaxFolderBytes = 0x7FFF8000;
inline constexpr std::size_t MaxEntries = 65535;
// Folder indices from 0xFFFD on mean "continued" in a set.
inline constexpr std::size_t MaxFolders = 0xFFFD;
inline constexpr std::size_t MaxNameBytes = 255;

// Throws Refused when the format cannot hold these entries: more than MaxEntries, a
// name empty, longer than MaxNameBytes or holding a NUL, folders out of order or more
// than MaxFolders, a folder's data over MaxFolderBytes, a cabinet over 4 GiB - 1.
void CheckEntries(const std::vector<Entry>& entries);

// Writes the cabinet of `entries` to `output` (none: a cabinet of no folders and no files), reading their bytes from `input`; returns
// its size. Throws Refused (before reading anything), and passes on what input and output
// throw.
std::uint64_t Write(const std::vector<Entry>& entries, Input& input, Output& output, const Options& options);

}  // namespace cabwrite

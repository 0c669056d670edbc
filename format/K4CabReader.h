// Reading a cabinet's tables and decoding its folders for the packer's inspect and verify:
// the writer's counterpart, kept out of the extractor, which has its own check and the
// system's library. Every offset and count is checked against the cabinet's size first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>
#include "K4CabFormat.h"

namespace cabread {

// The cabinet cannot be read or decoded; the text says where and what.
class Unreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Folder {
    std::uint32_t dataStart = 0;
    std::uint16_t blocks = 0;
    std::uint16_t compression = 0;   // as stored; the low 4 bits are the method
};

struct File {
    std::string name;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;   // in its folder's data
    std::uint16_t folder = 0, date = 0, time = 0, attribs = 0;
};

struct Listing {
    std::vector<Folder> folders;
    std::vector<File> files;
    std::uint8_t blockReserve = 0;
};

// The header, the folder table and the file table. Throws Unreadable for a missing
// signature, a table outside the cabinet, a name without its NUL, or a file whose folder
// is not in the cabinet (sets are not read).
Listing List(cabfmt::ReadAt& source);

// One folder decoded block by block from its first. Throws Unreadable for a block
// outside the cabinet, with a wrong checksum, that does not decode to its stated size, or
// a compression other than stored and MSZIP.
class FolderDecoder {
public:
    // `source` and `listing` must outlive the decoder.
    FolderDecoder(cabfmt::ReadAt& source, const Listing& listing, std::size_t folder);
    ~FolderDecoder();
    FolderDecoder(const FolderDecoder&) = delete;
    FolderDecoder& operator=(const FolderDecoder&) = delete;

    // The next block's bytes, valid until the next call; none at the folder's end.
    std::span<const unsigned char> Next();
    std::size_t Index() const { return folder_; }

private:
    struct Inflater;
    cabfmt::ReadAt& source_;
    const Listing& listing_;
    std::size_t folder_, block_ = 0;
    std::uint64_t at_;
    std::unique_ptr<Inflater> inflater_;
    std::vector<unsigned char> window_;   // 32 KB of history, then the block
    std::size_t historySize_ = 0, lastSize_ = 0;
};

// The whole folder, its bytes handed in order to `out` until it returns false.
void DecodeFolder(cabfmt::ReadAt& source, const Listing& listing, std::size_t folder,
                  const std::function<bool(const unsigned char* bytes, std::size_t count)>& out);

}  // namespace cabread

// The cabinet reader: the tables read field by field through the format's named offsets,
// and each folder decoded block by block, MSZIP with zlib given the previous 32 KB.
#include "K4CabReader.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <zlib.h>
#include "K4CabFormatDetail.h"
#include "K4LittleEndian.h"

namespace cabread {
namespace {
namespace d = cabfmt::detail;
constexpr std::size_t Block = cabfmt::MaxBlockUncompressed;

std::vector<unsigned char> Bytes(cabfmt::ReadAt& source, std::uint64_t offset, std::size_t count, const char* what) {
    std::vector<unsigned char> out(count);
    if (offset > source.Size() || count > source.Size() - offset || !source.Read(offset, out.data(), count))
        throw Unreadable(std::string(what) + " lies outside the cabinet");
    return out;
}

// The NUL-terminated text at `offset`; where it ends.
std::string Text(cabfmt::ReadAt& source, std::uint64_t& offset) {
    const std::uint64_t left = offset < source.Size() ? source.Size() - offset : 0;
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(left, d::MaxTextBytes));
    const std::vector<unsigned char> bytes = Bytes(source, offset, room, "a name");
    const auto* end = static_cast<const unsigned char*>(std::memchr(bytes.data(), 0, bytes.size()));
    if (end == nullptr) throw Unreadable("a name has no end within 255 bytes");
    offset += static_cast<std::uint64_t>(end - bytes.data()) + 1;
    return std::string(bytes.data(), end);
}

// One MSZIP block's data into `out` (its `size` bytes), the folder's previous output
// as its dictionary.
bool Inflate(z_stream& stream, const std::vector<unsigned char>& data, const unsigned char* history, std::size_t historySize,
             unsigned char* out, std::size_t size) {
    if (data.size() < 2 || data[0] != 'C' || data[1] != 'K') return false;
    if (inflateReset(&stream) != Z_OK) return false;
    if (historySize > 0 && inflateSetDictionary(&stream, history, static_cast<uInt>(historySize)) != Z_OK)
        return false;
    stream.next_in = const_cast<unsigned char*>(data.data() + 2);
    stream.avail_in = static_cast<uInt>(data.size() - 2);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(size);
    return inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out == 0 && stream.avail_in == 0;
}

std::string BlockName(std::size_t folder, std::size_t block) {
    return "data block " + std::to_string(block + 1) + " of folder " + std::to_string(folder + 1);
}

}  // namespace

Listing List(cabfmt::ReadAt& source) {
    const std::vector<unsigned char> head = Bytes(source, 0, cabfmt::HeaderSize, "the header");
    if (!cabfmt::HasSignature(head.data())) throw Unreadable("no \"MSCF\" at its start");
    Listing listing;
    const std::uint16_t flags = le::Read16(head.data() + cabfmt::FlagsField);
    std::uint64_t at = cabfmt::HeaderSize;
    if (flags & cabfmt::FlagReservePresent) {
        const std::vector<unsigned char> sizes = Bytes(source, at, d::ReserveSizesSize, "the reserve sizes");
        listing.blockReserve = sizes[d::BlockReserveField];
        at += d::ReserveSizesSize + le::Read16(sizes.data());
    }
    for (const std::uint16_t link : {cabfmt::FlagPrevCabinet, cabfmt::FlagNextCabinet})
        if (flags & link) {
            Text(source, at);
            Text(source, at);
        }
    const std::size_t folderSize = d::FolderEntrySize + (flags & cabfmt::FlagReservePresent
                                                             ? Bytes(source, cabfmt::HeaderSize, 4, "the reserve sizes")[d::FolderReserveField]
                                                             : 0);
    const std::uint16_t folders = le::Read16(head.data() + cabfmt::FolderCountField);
    for (std::uint16_t f = 0; f < folders; ++f, at += folderSize) {
        const std::vector<unsigned char> entry = Bytes(source, at, d::FolderEntrySize, "the folder table");
        listing.folders.push_back({le::Read32(entry.data() + d::FolderDataStartField),
                                   le::Read16(entry.data() + d::FolderBlockCountField),
                                   le::Read16(entry.data() + d::FolderCompressionField)});
    }
    at = le::Read32(head.data() + cabfmt::FilesStartField);
    const std::uint16_t files = le::Read16(head.data() + cabfmt::FileCountField);
    for (std::uint16_t i = 0; i < files; ++i) {
        const std::vector<unsigned char> entry = Bytes(source, at, d::FileEntrySize, "the file table");
        at += d::FileEntrySize;
        File file{Text(source, at), le::Read32(entry.data() + d::FileSizeField), le::Read32(entry.data() + d::FileOffsetField),
                  le::Read16(entry.data() + d::FileFolderField), le::Read16(entry.data() + d::FileDateField),
                  le::Read16(entry.data() + d::FileTimeField), le::Read16(entry.data() + d::FileAttribsField)};
        if (file.folder >= listing.folders.size())
            throw Unreadable("\"" + file.name + "\" names folder " + std::to_string(file.folder + 1) +
                             ", which the cabinet does not have");
        listing.files.push_back(std::move(file));
    }
    return listing;
}

struct FolderDecoder::Inflater {
    Inflater() {
        if (inflateInit2(&stream, -15) != Z_OK) throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&stream); }
    z_stream stream = {};
};

FolderDecoder::FolderDecoder(cabfmt::ReadAt& source, const Listing& listing, std::size_t folder)
    : source_(source), listing_(listing), folder_(folder), at_(listing.folders.at(folder).dataStart),
      inflater_(std::make_unique<Inflater>()), window_(2 * Block) {
    const unsigned method = listing.folders[folder].compression & 0x000F;
    if (method > 1)
        throw Unreadable("folder " + std::to_string(folder + 1) + ": compression " + std::to_string(method) +
                         " is not read here");
}

FolderDecoder::~FolderDecoder() = default;

std::span<const unsigned char> FolderDecoder::Next() {
    const cabread::Folder& f = listing_.folders[folder_];
    if (block_ >= f.blocks) return {};
    // The last 32 KB lead up to the next block.
    std::memmove(window_.data(), window_.data() + lastSize_, Block);
    historySize_ = std::min(Block, historySize_ + lastSize_);
    const std::vector<unsigned char> header = Bytes(source_, at_, d::BlockHeaderSize + listing_.blockReserve, "a data block");
    const std::size_t dataSize = le::Read16(header.data() + d::BlockCompressedField);
    const std::size_t size = le::Read16(header.data() + d::BlockUncompressedField);
    at_ += header.size();
    const std::vector<unsigned char> data = Bytes(source_, at_, dataSize, "a data block");
    at_ += dataSize;
    const std::string name = BlockName(folder_, block_++);
    const std::uint32_t stored = le::Read32(header.data() + d::BlockChecksumField);
    if (stored != 0 && !d::BlockSumMatches(stored, header.data(), data.data(), dataSize, listing_.blockReserve))
        throw Unreadable(name + ": wrong checksum");
    if (size == 0 || size > Block) throw Unreadable(name + ": size " + std::to_string(size));
    unsigned char* block = window_.data() + Block;
    const bool sound = (f.compression & 0x000F) == 0
                           ? dataSize == size && (std::memcpy(block, data.data(), size), true)
                           : Inflate(inflater_->stream, data, block - historySize_, historySize_, block, size);
    if (!sound) throw Unreadable(name + ": does not decode to its " + std::to_string(size) + " bytes");
    lastSize_ = size;
    return {block, size};
}

void DecodeFolder(cabfmt::ReadAt& source, const Listing& listing, std::size_t folder,
                  const std::function<bool(const unsigned char*, std::size_t)>& out) {
    FolderDecoder decoder(source, listing, folder);
    for (std::span<const unsigned char> block = decoder.Next(); !block.empty(); block = decoder.Next())
        if (!out(block.data(), block.size())) return;
}

}  // namespace cabread

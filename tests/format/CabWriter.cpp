// Writes cabinets field by field: header, uncompressed folders, the file entries and
// the data blocks with their checksums, with any field overridden.
#include "CabWriter.h"
#include <algorithm>
#include <stdexcept>
#include <zlib.h>
#include "LeBytes.h"

namespace cabw {

namespace {
constexpr std::size_t FixedHeaderSize = 36;
constexpr std::size_t FolderSize = 8;
constexpr std::size_t FileEntrySize = 16;  // without the name
constexpr std::size_t BlockHeaderSize = 8;

// Appends a little-endian field of `width` bytes.
void Put(std::string& out, std::uint32_t value, std::size_t width) { k4test::PutLe(out, out.size(), value, width); }

void PutName(std::string& out, const std::string& name) {
    out += name;
    out.push_back('\0');
}

std::size_t BlockSize(const Cabinet& cabinet) { return cabinet.blockSize ? cabinet.blockSize : MaxBlockData; }

// The data of one folder: its members' bytes in table order.
std::string FolderData(const Cabinet& cabinet, std::uint16_t folder) {
    std::string data;
    for (const Member& m : cabinet.members)
        if (m.folder == folder) data += m.data;
    return data;
}

std::size_t BlockCount(const Cabinet& cabinet, std::uint16_t folder) {
    return (FolderData(cabinet, folder).size() + BlockSize(cabinet) - 1) / BlockSize(cabinet);
}

bool HasReserve(const Cabinet& cabinet) { return cabinet.blockReserve > 0; }

std::size_t LinksSize(const Cabinet& cabinet) {
    std::size_t size = 0;
    if (cabinet.flags & FlagPrevCabinet) size += cabinet.prevCabinet.size() + cabinet.prevDisk.size() + 2;
    if (cabinet.flags & FlagNextCabinet) size += cabinet.nextCabinet.size() + cabinet.nextDisk.size() + 2;
    return size;
}

std::size_t FilesStart(const Cabinet& cabinet) {
    return FixedHeaderSize + (HasReserve(cabinet) ? 4 : 0) + LinksSize(cabinet) + FolderSize * cabinet.folders;
}

// Header, optional set links, folder and file entries: everything before the data.
std::size_t HeadersSize(const Cabinet& cabinet) {
    std::size_t size = FilesStart(cabinet);
    for (const Member& m : cabinet.members) size += FileEntrySize + m.name.size() + 1;
    return size;
}

// One MSZIP block of `data` from `at`: "CK" and a raw deflate stream of the chunk,
// whose back references may reach the previous block when that one is whole (32 KB):
// the system's decoder starts every block at the start of its 32 KB window.
std::string Compressed(const std::string& data, std::size_t at, std::size_t size, std::size_t blockSize) {
    z_stream stream = {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
    const std::size_t history = blockSize == MaxBlockData ? std::min<std::size_t>(at, MaxBlockData) : 0;
    if (history > 0)
        deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(data.data() + at - history), static_cast<uInt>(history));
    std::string out(deflateBound(&stream, static_cast<uLong>(size)) + 2, '\0');
    out[0] = 'C';
    out[1] = 'K';
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    const int status = deflate(&stream, Z_FINISH);
    out.resize(2 + stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

// The blocks of one folder; `index` counts blocks over all folders.
std::string Blocks(const Cabinet& cabinet, std::uint16_t folder, std::size_t& index) {
    const std::string data = FolderData(cabinet, folder);
    const std::size_t blockSize = BlockSize(cabinet);
    const std::string reserve(cabinet.blockReserve, 'r');
    std::string out;
    for (std::size_t at = 0; at < data.size(); ++index, at += blockSize) {
        const std::size_t size = std::min(blockSize, data.size() - at);
        std::string chunk = cabinet.mszip ? Compressed(data, at, size, blockSize) : data.substr(at, size);
        const bool last = folder + 1 == cabinet.folders && at + blockSize >= data.size();
        // cbUncomp: its true size, or 0 for a block that the next cabinet completes.
        auto uncompressed = static_cast<std::uint16_t>(last && cabinet.lastBlockContinues ? 0 : size);
        if (cabinet.editBlock) cabinet.editBlock(index, chunk, uncompressed);
        std::string lengths;
        Put(lengths, static_cast<std::uint16_t>(chunk.size()), 2);  // cbData
        Put(lengths, uncompressed, 2);
        const std::string summed = cabinet.checksumCoversReserve ? lengths + reserve : lengths;
        std::uint32_t sum = cabinet.noChecksums ? 0 : BlockChecksum(summed, chunk);
        for (std::size_t bad : cabinet.badChecksumBlocks)
            if (bad == index) sum += 1;
        Put(out, sum, 4);
        out += lengths + reserve + chunk;
    }
    return out;
}
}  // namespace

std::uint32_t Checksum(const void* bytes, std::size_t size, std::uint32_t seed) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::uint32_t sum = seed;
    for (std::size_t n = size / 4; n > 0; --n, p += 4)
        sum ^= static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    // The tail goes in most significant first: the format's own order, not a
    // little-endian read.
    std::uint32_t tail = 0;
    for (std::size_t rest = size % 4; rest > 0; --rest) tail |= static_cast<std::uint32_t>(*p++) << (8 * (rest - 1));
    return sum ^ tail;
}

std::uint32_t BlockChecksum(const std::string& blockHeaderLengths, const std::string& data) {
    const std::uint32_t overData = Checksum(data.data(), data.size(), 0);
    return Checksum(blockHeaderLengths.data(), blockHeaderLengths.size(), overData);
}

std::size_t DataStart(const Cabinet& cabinet) { return HeadersSize(cabinet); }

namespace {
// Where data block `block` starts in Build(cabinet)'s bytes (its header), and its data size.
std::pair<std::size_t, std::size_t> BlockPlace(const Cabinet& cabinet, std::size_t block) {
    const std::size_t perBlock = BlockHeaderSize + cabinet.blockReserve;
    std::size_t at = HeadersSize(cabinet), index = 0;
    for (std::uint16_t f = 0; f < cabinet.folders; ++f) {
        const std::string blocks = Blocks(cabinet, f, index);
        index -= BlockCount(cabinet, f);
        for (std::size_t in = 0; in < blocks.size(); ++index) {
            const std::size_t size = static_cast<unsigned char>(blocks[in + 4]) |
                                     static_cast<std::size_t>(static_cast<unsigned char>(blocks[in + 5])) << 8;
            if (index == block) return {at + in, size};
            in += perBlock + size;
        }
        at += blocks.size();
    }
    return {at, 0};
}
}  // namespace

std::size_t BlockDataStart(const Cabinet& cabinet, std::size_t block) {
    return BlockPlace(cabinet, block).first + BlockHeaderSize + cabinet.blockReserve;
}

std::size_t BlockDataSize(const Cabinet& cabinet, std::size_t block) { return BlockPlace(cabinet, block).second; }

std::string Build(const Cabinet& cabinet) {
    const std::size_t headers = HeadersSize(cabinet);
    std::vector<std::string> blocks;
    std::size_t index = 0, blocksSize = 0;
    for (std::uint16_t f = 0; f < cabinet.folders; ++f) {
        blocks.push_back(Blocks(cabinet, f, index));
        blocksSize += blocks.back().size();
    }

    std::string out = "MSCF";
    Put(out, 0, 4);
    Put(out, cabinet.declaredLength.value_or(static_cast<std::uint32_t>(headers + blocksSize)), 4);
    Put(out, 0, 4);
    Put(out, cabinet.declaredFilesStart.value_or(static_cast<std::uint32_t>(FilesStart(cabinet))), 4);
    Put(out, 0, 4);
    out.push_back(static_cast<char>(cabinet.versionMinor));
    out.push_back(static_cast<char>(cabinet.versionMajor));
    Put(out, cabinet.folders, 2);
    Put(out, cabinet.declaredFiles.value_or(static_cast<std::uint16_t>(cabinet.members.size())), 2);
    Put(out, static_cast<std::uint16_t>(cabinet.flags | (HasReserve(cabinet) ? FlagReservePresent : 0)), 2);
    Put(out, cabinet.setId, 2);
    Put(out, 0, 2);     // first cabinet of its set
    if (HasReserve(cabinet)) {
        Put(out, 0, 2);  // no header reserve
        out.push_back(0);  // no folder reserve
        out.push_back(static_cast<char>(cabinet.blockReserve));
    }
    if (cabinet.flags & FlagPrevCabinet) {
        PutName(out, cabinet.prevCabinet);
        PutName(out, cabinet.prevDisk);
    }
    if (cabinet.flags & FlagNextCabinet) {
        PutName(out, cabinet.nextCabinet);
        PutName(out, cabinet.nextDisk);
    }
    std::size_t dataAt = headers;
    for (std::uint16_t f = 0; f < cabinet.folders; ++f) {
        const bool first = f == 0;
        Put(out, first && cabinet.declaredDataStart ? *cabinet.declaredDataStart : static_cast<std::uint32_t>(dataAt), 4);
        const auto blockCount = static_cast<std::uint16_t>(BlockCount(cabinet, f));
        Put(out, first && cabinet.declaredBlocks ? *cabinet.declaredBlocks : blockCount, 2);
        Put(out, cabinet.declaredCompression.value_or(cabinet.mszip ? 1 : 0), 2);   // stored or MSZIP
        dataAt += blocks[f].size();
    }

    std::vector<std::uint32_t> offsets(cabinet.folders, 0);
    for (const Member& m : cabinet.members) {
        std::uint32_t& offset = offsets[m.folder < cabinet.folders ? m.folder : 0];
        Put(out, m.declaredSize.value_or(static_cast<std::uint32_t>(m.data.size())), 4);
        Put(out, m.declaredOffset.value_or(offset), 4);
        Put(out, m.folderIndex.value_or(m.folder), 2);
        Put(out, m.date, 2);
        Put(out, m.time, 2);
        Put(out, m.attribs, 2);
        PutName(out, m.name);
        offset += static_cast<std::uint32_t>(m.data.size());
    }
    for (const std::string& b : blocks) out += b;
    return out;
}

Cabinet OneFile(const std::string& name, const std::string& data) {
    Cabinet cabinet;
    Member member;
    member.name = name;
    member.data = data;
    cabinet.members.push_back(member);
    return cabinet;
}

void PatchSetId(std::string& cabinet, std::uint16_t setId) { k4test::PutLe(cabinet, 32, setId, 2); }

}  // namespace cabw

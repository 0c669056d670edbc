// Writes cabinets field by field: header, one uncompressed folder, the file
// entries and the data blocks with their checksums, with any field overridden.
#include "CabWriter.h"

namespace cabw {

namespace {
constexpr std::size_t FixedHeaderSize = 36;
constexpr std::size_t FolderSize = 8;
constexpr std::size_t FileEntrySize = 16;  // without the name
constexpr std::size_t BlockHeaderSize = 8;

void Put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void Put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutName(std::string& out, const std::string& name) {
    out += name;
    out.push_back('\0');
}

std::string AllData(const Cabinet& cabinet) {
    std::string data;
    for (const Member& m : cabinet.members) data += m.data;
    return data;
}

std::size_t BlockCount(const Cabinet& cabinet) {
    const std::size_t size = AllData(cabinet).size();
    const std::size_t block = cabinet.blockSize ? cabinet.blockSize : MaxBlockData;
    return (size + block - 1) / block;
}

// Header, optional set links, folder and file entries: everything before the data.
std::size_t HeadersSize(const Cabinet& cabinet) {
    std::size_t size = FixedHeaderSize;
    if (cabinet.flags & FlagPrevCabinet) size += cabinet.prevCabinet.size() + cabinet.prevDisk.size() + 2;
    if (cabinet.flags & FlagNextCabinet) size += cabinet.nextCabinet.size() + cabinet.nextDisk.size() + 2;
    size += FolderSize;
    for (const Member& m : cabinet.members) size += FileEntrySize + m.name.size() + 1;
    return size;
}

std::string Blocks(const Cabinet& cabinet) {
    const std::string data = AllData(cabinet);
    const std::size_t blockSize = cabinet.blockSize ? cabinet.blockSize : MaxBlockData;
    std::string out;
    for (std::size_t i = 0, at = 0; at < data.size(); ++i, at += blockSize) {
        const std::string chunk = data.substr(at, blockSize);
        std::string lengths;
        Put16(lengths, static_cast<std::uint16_t>(chunk.size()));  // cbData
        const bool last = at + blockSize >= data.size();
        // cbUncomp: stored as is, or 0 for a block that the next cabinet completes.
        Put16(lengths, static_cast<std::uint16_t>(last && cabinet.lastBlockContinues ? 0 : chunk.size()));
        std::uint32_t sum = cabinet.noChecksums ? 0 : BlockChecksum(lengths, chunk);
        for (std::size_t bad : cabinet.badChecksumBlocks)
            if (bad == i) sum += 1;
        Put32(out, sum);
        out += lengths;
        out += chunk;
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

std::string Build(const Cabinet& cabinet) {
    const std::size_t headers = HeadersSize(cabinet);
    const std::string blocks = Blocks(cabinet);
    std::size_t filesStart = FixedHeaderSize + FolderSize;
    if (cabinet.flags & FlagPrevCabinet) filesStart += cabinet.prevCabinet.size() + cabinet.prevDisk.size() + 2;
    if (cabinet.flags & FlagNextCabinet) filesStart += cabinet.nextCabinet.size() + cabinet.nextDisk.size() + 2;

    std::string out = "MSCF";
    Put32(out, 0);
    Put32(out, cabinet.declaredLength.value_or(static_cast<std::uint32_t>(headers + blocks.size())));
    Put32(out, 0);
    Put32(out, cabinet.declaredFilesStart.value_or(static_cast<std::uint32_t>(filesStart)));
    Put32(out, 0);
    out.push_back(3);  // version 1.3
    out.push_back(1);
    Put16(out, 1);     // one folder
    Put16(out, cabinet.declaredFiles.value_or(static_cast<std::uint16_t>(cabinet.members.size())));
    Put16(out, cabinet.flags);
    Put16(out, cabinet.setId);
    Put16(out, 0);     // first cabinet of its set
    if (cabinet.flags & FlagPrevCabinet) {
        PutName(out, cabinet.prevCabinet);
        PutName(out, cabinet.prevDisk);
    }
    if (cabinet.flags & FlagNextCabinet) {
        PutName(out, cabinet.nextCabinet);
        PutName(out, cabinet.nextDisk);
    }
    Put32(out, cabinet.declaredDataStart.value_or(static_cast<std::uint32_t>(headers)));
    Put16(out, cabinet.declaredBlocks.value_or(static_cast<std::uint16_t>(BlockCount(cabinet))));
    Put16(out, 0);     // no compression

    std::uint32_t offset = 0;
    for (const Member& m : cabinet.members) {
        Put32(out, m.declaredSize.value_or(static_cast<std::uint32_t>(m.data.size())));
        Put32(out, m.declaredOffset.value_or(offset));
        Put16(out, m.folderIndex.value_or(0));
        Put16(out, m.date);
        Put16(out, m.time);
        Put16(out, m.attribs);
        PutName(out, m.name);
        offset += static_cast<std::uint32_t>(m.data.size());
    }
    return out + blocks;
}

Cabinet OneFile(const std::string& name, const std::string& data) {
    Cabinet cabinet;
    Member member;
    member.name = name;
    member.data = data;
    cabinet.members.push_back(member);
    return cabinet;
}

}  // namespace cabw

// Block encoding: each MSZIP block is a complete deflate stream (its last deflate block
// final), so a decoder can start at any block given the 32 KB before it; that history is
// the dictionary, which is how blocks can be compressed apart and still reach back.
#include "K4MszipEncode.h"
#include <cstring>
#include <new>
#include <stdexcept>
#include "K4CabFormat.h"
#include "K4CabFormatDetail.h"
#include "K4LittleEndian.h"

namespace cabwrite {
namespace {
using cabfmt::detail::BlockHeaderSize;
constexpr int RawDeflate = -15;     // no zlib header, the format's 32 KB window
constexpr std::size_t Marker = 2;   // "CK"
constexpr std::size_t StoredHeader = 5;   // a final stored deflate block: type byte, LEN, NLEN

// The header's lengths, then the checksum over the data and those lengths.
void FinishBlock(std::vector<unsigned char>& out, std::size_t uncompressed) {
    const std::size_t size = out.size() - BlockHeaderSize;
    unsigned char* header = out.data();
    le::Write16(header + cabfmt::detail::BlockCompressedField, static_cast<std::uint16_t>(size));
    le::Write16(header + cabfmt::detail::BlockUncompressedField, static_cast<std::uint16_t>(uncompressed));
    const std::uint32_t overData = cabfmt::Checksum(header + BlockHeaderSize, size, 0);
    le::Write32(header + cabfmt::detail::BlockChecksumField,
                cabfmt::Checksum(header + cabfmt::detail::BlockCompressedField, 4, overData));
}

void StoredDeflate(const BlockInput& input, std::vector<unsigned char>& out) {
    out.resize(BlockHeaderSize + Marker + StoredHeader + input.size);
    unsigned char* p = out.data() + BlockHeaderSize;
    p[0] = 'C';
    p[1] = 'K';
    p[2] = 0x01;   // final, stored
    le::Write16(p + 3, static_cast<std::uint16_t>(input.size));
    le::Write16(p + 5, static_cast<std::uint16_t>(~input.size));
    std::memcpy(p + Marker + StoredHeader, input.data, input.size);
}

}  // namespace

void StoreBlock(const BlockInput& input, std::vector<unsigned char>& out) {
    out.resize(BlockHeaderSize + input.size);
    std::memcpy(out.data() + BlockHeaderSize, input.data, input.size);
    FinishBlock(out, input.size);
}

MszipEncoder::MszipEncoder(int level) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, RawDeflate, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
}

MszipEncoder::~MszipEncoder() { deflateEnd(&stream_); }

void MszipEncoder::Encode(const BlockInput& input, std::vector<unsigned char>& out) {
    // Room for what a stored block takes: deflate's output beyond it is never used.
    const std::size_t room = Marker + StoredHeader + input.size;
    out.resize(BlockHeaderSize + room);
    if (deflateReset(&stream_) != Z_OK) throw std::logic_error("deflateReset");
    if (input.historySize > 0 &&
        deflateSetDictionary(&stream_, input.history, static_cast<uInt>(input.historySize)) != Z_OK)
        throw std::logic_error("deflateSetDictionary");
    unsigned char* p = out.data() + BlockHeaderSize;
    p[0] = 'C';
    p[1] = 'K';
    stream_.next_in = const_cast<unsigned char*>(input.data);
    stream_.avail_in = static_cast<uInt>(input.size);
    stream_.next_out = p + Marker;
    stream_.avail_out = static_cast<uInt>(room - Marker);
    const int status = deflate(&stream_, Z_FINISH);
    if (status == Z_STREAM_END && stream_.total_out < StoredHeader + input.size) {
        out.resize(BlockHeaderSize + Marker + stream_.total_out);
    } else if (status == Z_OK || status == Z_BUF_ERROR || status == Z_STREAM_END) {
        StoredDeflate(input, out);   // deflate ran out of room: the data does not shrink
    } else {
        throw std::logic_error("deflate");
    }
    FinishBlock(out, input.size);
}

}  // namespace cabwrite

// The decoding of every MSZIP block with zlib, and the whole check that ends with it.
// A block is "CK" and a raw deflate stream that ends with the block; its back
// references may reach into the previous block's output of the same folder, its
// history (a 32 KB window).
#include "K4MszipDecode.h"
#include <cstring>
#include <new>
#include <vector>
#include <zlib.h>
#include "K4CabFormatDetail.h"
#include "K4FormatSeams.h"

namespace format_seams {
std::uint64_t decodedBlocks = 0;
}  // namespace format_seams

namespace cabfmt {

namespace {
constexpr int WindowBits = 15;    // the format's 32 KB of history
constexpr std::uint32_t WindowSize = 1u << WindowBits;
constexpr std::uint32_t StoredHeader = 5;   // a stored deflate block's header, byte-aligned
constexpr std::uint16_t CompressionMszip = 1;
constexpr std::size_t LayoutWindow = 4096;
constexpr std::size_t NoFolder = static_cast<std::size_t>(-1);   // before the first
// The largest block a cabinet can hold: its header with the largest reserve, or
// its data.
constexpr std::size_t ReadRoom = 65535;
}  // namespace

struct Decoding::State {
    explicit State(ReadAt& source) : source(source) {}
    ~State() {
        if (streamReady) inflateBackEnd(&stream);
    }
    bool Layout();
    bool Advance();
    bool NextBlock();
    // The `count` bytes at `offset` within the cabinet, valid until the next call;
    // null (and the fault recorded) when they are not there.
    const unsigned char* Bytes(std::uint64_t offset, std::size_t count);
    bool Decode(const unsigned char* data, std::size_t size, std::uint32_t uncompressed);
    bool BlockFault(bool outside);
    bool Compressed() const { return (folders[folder].compression & 0x000F) == CompressionMszip; }

    // The decoder's input after the history: the block's stream, then nothing.
    static unsigned In(void* self, z_const unsigned char** buffer);
    // Its output: the history given back first (skipped), then the block's.
    static int Out(void* self, unsigned char* bytes, unsigned count);

    ReadAt& source;
    std::vector<detail::Folder> folders;
    std::vector<Checked> checked;   // per folder: its first blocks found sound
    std::uint64_t end = 0;
    std::size_t headerSize = detail::BlockHeaderSize;
    std::uint8_t blockReserve = 0;
    bool laidOut = false, finished = false;
    bool summing = true;   // until the check has tested the remaining sums itself
    Fault fault = Fault::None;
    Where where;
    // Where the decoding stands: the folder, its block and their bytes.
    std::size_t folder = 0;
    std::uint32_t block = 0;
    std::uint64_t position = 0;
    // The decoder and, in one allocation: its 32 KB window; a stored deflate block
    // that holds the history; the block's own output; and room for a block where
    // the source cannot show it in place.
    z_stream stream = {};
    bool streamReady = false;
    std::unique_ptr<unsigned char[]> memory;
    unsigned char *window = nullptr, *history = nullptr, *out = nullptr, *readBuffer = nullptr;
    std::uint32_t historySize = 0;
    // The block being decoded: its stream still to hand over, the history still to
    // skip, and the output expected.
    const unsigned char* pending = nullptr;
    std::size_t pendingSize = 0;
    std::uint32_t skip = 0, produced = 0, expected = 0;
};

Decoding::Decoding(ReadAt& source) : state_(new State(source)) {}
Decoding::~Decoding() = default;

bool Decoding::Finished() const { return state_->finished; }
Fault Decoding::FaultFound() const { return state_->fault; }
const Decoding::Where& Decoding::FaultAt() const { return state_->where; }

const Decoding::Checked& Decoding::CheckedAhead(std::uint32_t folder) const {
    static const Checked none;
    return folder < state_->checked.size() ? state_->checked[folder] : none;
}

bool Decoding::Step(std::uint32_t blocks) {
    State& s = *state_;
    if (s.finished) return true;
    if (!s.laidOut) {
        s.laidOut = true;
        if (!s.Layout()) return s.finished = true;
    }
    for (; blocks > 0; --blocks)
        if (!s.NextBlock()) return s.finished = true;
    return s.finished = !s.Advance();
}

bool Decoding::State::BlockFault(bool outside) {
    where = {static_cast<std::uint32_t>(folder), block, outside};
    fault = Fault::Damaged;
    return false;
}

bool Decoding::State::Layout() {
    // Small reads: the tables' pieces are at most a few hundred bytes each, and the
    // blocks are read one at a time after them.
    static const Options plain;
    detail::Checker checker(source, plain, LayoutWindow);
    // The check found these tables sound before the decoding goes on to its end:
    // tables that do not read so now are bytes that cannot be read as they were.
    if (!checker.Layout()) {
        fault = Fault::Unreadable;
        return false;
    }
    end = checker.End();
    blockReserve = checker.BlockReserve();
    headerSize = detail::BlockHeaderSize + blockReserve;
    folders = checker.TakeFolders();
    checked.assign(folders.size(), Checked{});
    folder = NoFolder;
    memory.reset(new unsigned char[WindowSize + StoredHeader + WindowSize + MaxBlockUncompressed + ReadRoom]);
    window = memory.get();
    history = window + WindowSize;
    out = history + StoredHeader + WindowSize;
    readBuffer = out + MaxBlockUncompressed;
    if (inflateBackInit(&stream, WindowBits, window) != Z_OK) throw std::bad_alloc();
    streamReady = true;
    return true;
}

const unsigned char* Decoding::State::Bytes(std::uint64_t offset, std::size_t count) {
    if (offset > end || count > end - offset) {
        BlockFault(true);
        return nullptr;
    }
    if (const unsigned char* inPlace = source.View(offset, count)) return inPlace;
    if (source.Read(offset, readBuffer, count)) return readBuffer;
    fault = Fault::Unreadable;
    return nullptr;
}

// To the next compressed block, if there is one.
bool Decoding::State::Advance() {
    while (folder == NoFolder || block == folders[folder].blocks || !Compressed()) {
        if (folder + 1 >= folders.size()) return false;   // NoFolder + 1 is 0
        ++folder;
        block = 0;
        historySize = 0;   // a folder's stream starts without history
        position = folders[folder].dataStart;
    }
    return true;
}

// False when the decoding has ended: at a fault, or after the last block.
bool Decoding::State::NextBlock() {
    if (!Advance()) return false;
    const unsigned char* h = Bytes(position, headerSize);
    if (!h) return false;
    unsigned char header[detail::BlockHeaderSize + 255];   // the data's read may take the place h points to
    std::memcpy(header, h, headerSize);
    const std::uint32_t stored = detail::Read32(header + detail::BlockChecksumField);
    const std::uint16_t compressed = detail::Read16(header + detail::BlockCompressedField);
    const std::uint16_t uncompressed = detail::Read16(header + detail::BlockUncompressedField);
    const unsigned char* data = Bytes(position + headerSize, compressed);
    if (!data) return false;
    // A block that fails any of the check's tests is left to the check, which names
    // that fault first (before a broken stream's).
    Checked& done = checked[folder];
    if (summing && done.blocks == block && uncompressed != 0 && uncompressed <= MaxBlockUncompressed &&
        (stored == 0 || detail::BlockSumMatches(stored, header, data, compressed, blockReserve))) {
        ++done.blocks;
        done.end = position + headerSize + compressed;
        done.uncompressed += uncompressed;
    }
    if (!Decode(data, compressed, uncompressed)) return BlockFault(false);
    ++format_seams::decodedBlocks;
    ++block;
    position += headerSize + compressed;
    return true;
}

// zlib's call-back decoder, which leaves out the zlib and gzip formats' checksums
// (and their code) that inflate() brings along. It takes no dictionary: the history
// goes in ahead of the stream as a stored deflate block, whose bytes pass through
// the window like any output, within reach of the stream's back references.
bool Decoding::State::Decode(const unsigned char* data, std::size_t size, std::uint32_t uncompressed) {
    if (size < 2 || data[0] != 'C' || data[1] != 'K' || uncompressed == 0 || uncompressed > MaxBlockUncompressed)
        return false;
    pending = data + 2;
    pendingSize = size - 2;
    skip = historySize;
    produced = 0;
    expected = uncompressed;
    if (historySize > 0) {
        // Not the last block (BFINAL 0), stored (BTYPE 00), then its length and
        // the length's complement.
        history[0] = 0;
        history[1] = static_cast<unsigned char>(historySize);
        history[2] = static_cast<unsigned char>(historySize >> 8);
        history[3] = static_cast<unsigned char>(~historySize);
        history[4] = static_cast<unsigned char>(~historySize >> 8);
        stream.next_in = history;
        stream.avail_in = StoredHeader + historySize;
    } else {
        stream.next_in = nullptr;   // the stream at once, from In
        stream.avail_in = 0;
    }
    const int status = inflateBack(&stream, In, this, Out, this);
    // The stream must end exactly where the block does (nothing of it left over,
    // nothing of it not yet handed over), with exactly the stated size out.
    if (status != Z_STREAM_END || pending || stream.avail_in != 0 || produced != expected) return false;
    // The next block's history: this block's output when it fills the window, as
    // every block but a folder's last does. The system's decoder starts each block
    // at the start of its window, so after a shorter block what lies behind the
    // next one is not this block's output: a stream that reaches back there is one
    // it would decode to other bytes, and is refused here.
    historySize = uncompressed == WindowSize ? WindowSize : 0;
    if (historySize) std::memcpy(history + StoredHeader, out, WindowSize);
    return true;
}

unsigned Decoding::State::In(void* self, z_const unsigned char** buffer) {
    State& s = *static_cast<State*>(self);
    *buffer = const_cast<unsigned char*>(s.pending);
    const auto size = static_cast<unsigned>(s.pendingSize);
    s.pending = nullptr;
    s.pendingSize = 0;
    return size;
}

int Decoding::State::Out(void* self, unsigned char* bytes, unsigned count) {
    State& s = *static_cast<State*>(self);
    const unsigned skipped = count < s.skip ? count : s.skip;
    s.skip -= skipped;
    count -= skipped;
    if (count > s.expected - s.produced) return 1;   // more than stated: stop
    std::memcpy(s.out + s.produced, bytes + skipped, count);
    s.produced += count;
    return 0;
}

Result Check(ReadAt& source, const Options& options) {
    Decoding decoding(source);
    return Check(source, options, decoding);
}

Result Check(ReadAt& source, const Options& options, Decoding& decoding) {
    return detail::Checker(source, options).Run(decoding);
}

bool detail::Checker::Decoded(Decoding& decoding) {
    decoding.state_->summing = false;   // every block's sum has been tested by now
    while (!decoding.Step(Decoding::AllBlocks)) {
    }
    const Decoding::Where& at = decoding.FaultAt();
    switch (decoding.FaultFound()) {
    case Fault::None: return true;
    case Fault::Damaged:
        return at.outside ? BlockMissing(at.folder, at.block) : BlockDamaged(at.folder, at.block, {" cannot be decoded"});
    default: return Fail(Fault::Unreadable, "Cannot read the cabinet", {});
    }
}

}  // namespace cabfmt

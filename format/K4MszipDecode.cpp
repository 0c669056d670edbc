// The decoding of every MSZIP block with zlib, and the whole check that ends with it.
// Each folder's blocks are one deflate stream cut in pieces: a block is "CK" and a
// raw deflate stream that ends with the block, whose back references may reach
// into the last 32 KB of the folder's earlier output.
#include "K4MszipDecode.h"
#include <new>
#include <vector>
#include <zlib.h>
#include "K4CabFormatDetail.h"

namespace cabfmt {

namespace {
constexpr int RawDeflate = -15;   // windowBits: no zlib header, a 32 KB window
constexpr std::uint16_t CompressionMszip = 1;
constexpr std::size_t LayoutWindow = 4096;
}  // namespace

struct Decoding::State {
    explicit State(ReadAt& source) : source(source) {}
    ~State() {
        if (streamReady) inflateEnd(&stream);
    }
    bool Layout();
    bool NextBlock();
    // The `count` bytes at `offset` within the cabinet, valid until the next call;
    // null (and the fault recorded) when they are not there.
    const unsigned char* Bytes(std::uint64_t offset, std::size_t count);
    bool Decode(const unsigned char* data, std::size_t size, std::uint32_t uncompressed);
    bool Fail(Fault found, std::string words);
    bool BlockFault(const char* what);

    // One compressed folder: where its blocks start, how many, its number.
    struct Place {
        std::uint64_t start;
        std::uint32_t blocks, number;
    };

    ReadAt& source;
    std::vector<Place> places;
    std::uint64_t end = 0;
    std::size_t headerSize = detail::BlockHeaderSize;
    bool laidOut = false, finished = false;
    Fault fault = Fault::None;
    std::string text;
    // Where the decoding stands: the folder (in places), its block and their bytes.
    std::size_t place = 0;
    std::uint32_t block = 0;
    std::uint64_t position = 0;
    std::uint64_t decoded = 0;
    // The decoder, its output of a block, and the folder's last 32 KB of output.
    z_stream stream = {};
    bool streamReady = false;
    std::vector<unsigned char> out, history, readBuffer;
    uInt historySize = 0;
};

Decoding::Decoding(ReadAt& source) : state_(std::make_unique<State>(source)) {}
Decoding::~Decoding() = default;

bool Decoding::Finished() const { return state_->finished; }
Fault Decoding::FaultFound() const { return state_->fault; }
const std::string& Decoding::Text() const { return state_->text; }
std::uint64_t Decoding::DecodedBlocks() const { return state_->decoded; }

bool Decoding::Step(std::uint32_t blocks) {
    State& s = *state_;
    if (s.finished) return true;
    if (!s.laidOut) {
        s.laidOut = true;
        if (!s.Layout()) return s.finished = true;
    }
    for (; blocks > 0; --blocks)
        if (!s.NextBlock()) return s.finished = true;
    return false;
}

bool Decoding::State::Fail(Fault found, std::string words) {
    fault = found;
    text = std::move(words);
    return false;
}

bool Decoding::State::BlockFault(const char* what) {
    std::string words = "Damaged cabinet: data block ";
    detail::AppendNumber(words, block + 1);
    words += " of folder ";
    detail::AppendNumber(words, places[place].number + 1);
    words += what;
    return Fail(Fault::Damaged, std::move(words));
}

bool Decoding::State::Layout() {
    // Small reads: the tables' pieces are at most a few hundred bytes each, and the
    // blocks are read one at a time after them.
    static const Options plain;
    detail::Checker checker(source, plain, LayoutWindow);
    if (!checker.Layout()) return Fail(checker.Outcome().fault, checker.Outcome().text);
    end = checker.End();
    headerSize = detail::BlockHeaderSize + checker.BlockReserve();
    const std::vector<detail::Folder>& folders = checker.FolderTable();
    for (std::uint32_t i = 0; i < folders.size(); ++i)
        if ((folders[i].compression & 0x000F) == CompressionMszip && folders[i].blocks > 0)
            places.push_back({folders[i].dataStart, folders[i].blocks, i});
    if (places.empty()) return false;   // nothing compressed: sound, and done
    position = places[0].start;
    if (inflateInit2(&stream, RawDeflate) != Z_OK) throw std::bad_alloc();
    streamReady = true;
    out.resize(MaxBlockUncompressed);
    history.resize(MaxBlockUncompressed);
    return true;
}

const unsigned char* Decoding::State::Bytes(std::uint64_t offset, std::size_t count) {
    if (offset > end || count > end - offset) {
        BlockFault(" lies outside the cabinet");
        return nullptr;
    }
    if (const unsigned char* inPlace = source.View(offset, count)) return inPlace;
    readBuffer.resize(count);
    if (source.Read(offset, readBuffer.data(), count)) return readBuffer.data();
    Fail(Fault::Unreadable, "Cannot read the cabinet");
    return nullptr;
}

// False when the decoding has ended: at a fault, or after the last block.
bool Decoding::State::NextBlock() {
    const unsigned char* h = Bytes(position, headerSize);
    if (!h) return false;
    const std::uint16_t compressed = detail::Le16(h + 4), uncompressed = detail::Le16(h + 6);
    const unsigned char* data = Bytes(position + headerSize, compressed);
    if (!data) return false;
    if (!Decode(data, compressed, uncompressed)) return BlockFault(" cannot be decoded");
    ++decoded;
    position += headerSize + compressed;
    if (++block < places[place].blocks) return true;
    block = 0;
    historySize = 0;   // a folder's stream starts without history
    if (++place == places.size()) return false;
    position = places[place].start;
    return true;
}

bool Decoding::State::Decode(const unsigned char* data, std::size_t size, std::uint32_t uncompressed) {
    if (size < 2 || data[0] != 'C' || data[1] != 'K' || uncompressed == 0 || uncompressed > MaxBlockUncompressed)
        return false;
    if (inflateReset(&stream) != Z_OK) return false;
    if (historySize > 0 && inflateSetDictionary(&stream, history.data(), historySize) != Z_OK) return false;
    stream.next_in = const_cast<unsigned char*>(data + 2);
    stream.avail_in = static_cast<uInt>(size - 2);
    stream.next_out = out.data();
    stream.avail_out = uncompressed;
    // Without Z_FINISH: a stream finished by one call would not pass through the
    // decoder's window, which keeps the history for the next block.
    const int status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    // The stream must end exactly where the block does, with exactly the stated
    // size out: anything else is not what the writer wrote.
    if (status != Z_STREAM_END || stream.avail_in != 0 || stream.avail_out != 0) return false;
    historySize = static_cast<uInt>(history.size());
    return inflateGetDictionary(&stream, history.data(), &historySize) == Z_OK;
}

Result Check(ReadAt& source, const Options& options) {
    Decoding decoding(source);
    return Check(source, options, decoding);
}

Result Check(ReadAt& source, const Options& options, Decoding& decoding) {
    Result result = detail::Checker(source, options).Run();
    if (!result.Sound()) return result;
    while (!decoding.Step(Decoding::AllBlocks)) {
    }
    if (decoding.FaultFound() == Fault::None) return result;
    result.fault = decoding.FaultFound();
    result.text = decoding.Text();
    result.members.clear();
    return result;
}

}  // namespace cabfmt

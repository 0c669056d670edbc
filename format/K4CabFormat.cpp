// The cabinet format check: the header, the folder and file tables, and every data
// block with its checksum, each offset and count checked against the cabinet's real
// size before it is followed.
#include "K4CabFormat.h"
#include <bit>
#include <cstring>
#include "K4CabFormatDetail.h"
#include "K4FormatSeams.h"
#include "K4LittleEndian.h"
#include "K4LongDivision.h"
#include "K4MszipDecode.h"
#include "K4MemberNames.h"

namespace format_seams {
std::uint64_t blockSums = 0;
}  // namespace format_seams

namespace cabfmt {

static_assert(std::endian::native == std::endian::little, "words are read in place as little-endian");

std::uint32_t Checksum(const void* bytes, std::size_t size, std::uint32_t seed) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    // XOR is associative: eight bytes at a time, folded into one 32-bit word after.
    std::uint64_t wide = 0;
    for (std::size_t n = size / 8; n > 0; --n, p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        wide ^= word;
    }
    std::uint32_t sum = seed ^ static_cast<std::uint32_t>(wide) ^ static_cast<std::uint32_t>(wide >> 32);
    if (size & 4) {
        sum ^= le::Read32(p);
        p += 4;
    }
    // The tail goes in most significant first: the format's own order, not a
    // little-endian read.
    std::uint32_t tail = 0;
    for (std::size_t rest = size % 4; rest > 0; --rest) tail |= static_cast<std::uint32_t>(*p++) << (8 * (rest - 1));
    return sum ^ tail;
}

namespace detail {

std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
}

void AppendNumber(std::string& out, std::uint64_t n) {
    char digits[24];
    char* p = digits + sizeof digits;
    do {
        const QuotientAndRest step = DivideLong(n, 10);
        *--p = static_cast<char>('0' + step.rest);
        n = step.quotient;
    } while (n);
    out.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

const unsigned char* Window::At(std::uint64_t offset, std::size_t count) {
    if (offset > end_ || count > end_ - offset) return nullptr;
    if (const unsigned char* inPlace = source_.View(offset, count)) return inPlace;
    if (offset >= start_ && offset + count <= start_ + have_) return buffer_.data() + (offset - start_);
    const std::uint64_t left = end_ - offset;
    const std::size_t want = left < buffer_.size() ? static_cast<std::size_t>(left) : buffer_.size();
    have_ = 0;
    if (count > want || !source_.Read(offset, buffer_.data(), want)) {
        failed_ = true;
        return nullptr;
    }
    start_ = offset;
    have_ = want;
    return buffer_.data();
}

std::string Checker::Show(const Member& m) const {
    return options_.showName ? options_.showName(m.name, m.Utf()) : m.name;
}

std::string Checker::Quoted(const Member& m) const { return Cat({"\"", Show(m), "\""}); }

bool Checker::Fail(Fault fault, std::string text) {
    result_.fault = fault;
    result_.text = std::move(text);
    return false;
}

bool Checker::Fail(Fault fault, std::string_view lead, std::initializer_list<Piece> pieces) {
    result_.fault = fault;
    result_.text.assign(lead);
    Append(pieces);
    return false;
}

void Checker::Append(std::initializer_list<Piece> pieces) {
    std::string& text = result_.text;
    for (const Piece& piece : pieces) {
        switch (piece.kind_) {
        case Piece::Kind::Text: text.append(piece.text_); break;
        case Piece::Kind::Number: AppendNumber(text, piece.number_); break;
        case Piece::Kind::Name: text.append(Quoted(*piece.member_)); break;
        }
    }
}

bool Checker::Damaged(std::initializer_list<Piece> what) { return Fail(Fault::Damaged, "Damaged cabinet: ", what); }

bool Checker::Missing(std::initializer_list<Piece> what) {
    return window_.Failed() ? Fail(Fault::Unreadable, "Cannot read the cabinet", {}) : Damaged(what);
}

bool Checker::BlockDamaged(std::uint32_t folder, std::uint32_t block, std::initializer_list<Piece> what) {
    Fail(Fault::Damaged, "Damaged cabinet: data block ", {block + 1, " of folder ", folder + 1});
    Append(what);
    return false;
}

bool Checker::BlockMissing(std::uint32_t folder, std::uint32_t block) {
    return window_.Failed() ? Fail(Fault::Unreadable, "Cannot read the cabinet", {})
                            : BlockDamaged(folder, block, {" lies outside the cabinet"});
}

bool Checker::Header() {
    const std::uint64_t size = source_.Size();
    if (size < HeaderSize) return Damaged({"the header is cut short"});
    window_.SetEnd(size);
    const unsigned char* h = window_.At(0, HeaderSize);
    if (!h) return Missing({"the header is cut short"});
    if (!HasSignature(h)) return Damaged({"no cabinet signature"});
    const std::uint8_t major = h[MajorVersionField], minor = h[MinorVersionField];
    if (major != MajorVersion || minor != MinorVersion) return Damaged({"unknown format version ", major, ".", minor});
    const std::uint32_t length = Read32(h + CabinetSizeField);
    if (length < HeaderSize) return Damaged({"its stated size of ", length, " bytes is smaller than its header"});
    if (length > size) return Damaged({"cut short: ", size, " of its ", length, " bytes are present"});
    filesStart_ = Read32(h + FilesStartField);
    folderCount_ = Read16(h + FolderCountField);
    fileCount_ = Read16(h + FileCountField);
    flags_ = Read16(h + FlagsField);
    window_.SetEnd(length);
    position_ = HeaderSize;
    return Reserve() && SetLinks();
}

bool Checker::Reserve() {
    if (!(flags_ & FlagReservePresent)) return true;
    const unsigned char* r = window_.At(position_, ReserveSizesSize);
    if (!r) return Missing({"the header is cut short"});
    const std::uint16_t headerReserve = Read16(r);
    folderReserve_ = r[FolderReserveField];
    blockReserve_ = r[BlockReserveField];
    if (headerReserve > MaxHeaderReserve) return Damaged({"a header reserve of ", headerReserve, " bytes"});
    position_ += ReserveSizesSize + headerReserve;
    return true;
}

bool Checker::Text(std::string& out) {
    if (position_ >= window_.End()) return false;
    const std::uint64_t left = window_.End() - position_;
    const std::size_t span = left < MaxTextBytes ? static_cast<std::size_t>(left) : MaxTextBytes;
    const unsigned char* p = window_.At(position_, span);
    const void* nul = p ? std::memchr(p, 0, span) : nullptr;
    if (!nul) return false;
    const std::size_t length = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    out.assign(reinterpret_cast<const char*>(p), length);
    position_ += length + 1;
    return true;
}

bool Checker::SetLinks() {
    std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
    if ((flags_ & FlagPrevCabinet) && !(Text(prevCabinet) && Text(prevDisk))) return Missing({"the header is cut short"});
    if ((flags_ & FlagNextCabinet) && !(Text(nextCabinet) && Text(nextDisk))) return Missing({"the header is cut short"});
    if (flags_ & FlagPrevCabinet)
        return Fail(Fault::ContinuedFromPrev, "Cabinet continues from another cabinet \"", {prevCabinet, "\""});
    if (flags_ & FlagNextCabinet)
        return Fail(Fault::ContinuedToNext, "Cabinet continues in another cabinet \"", {nextCabinet, "\""});
    return true;
}

bool Checker::Folders() {
    folders_.reserve(folderCount_);
    for (std::uint32_t i = 0; i < folderCount_; ++i) {
        const unsigned char* f = window_.At(position_, FolderEntrySize + folderReserve_);
        if (!f) return Missing({"the folder table lies outside the cabinet"});
        Folder folder;
        folder.dataStart = Read32(f + FolderDataStartField);
        folder.blocks = Read16(f + FolderBlockCountField);
        folder.compression = Read16(f + FolderCompressionField);
        if (!KnownCompression(folder.compression))
            return Damaged({"folder ", i + 1, " uses an unknown compression (", folder.compression, ")"});
        folders_.push_back(folder);
        position_ += FolderEntrySize + folderReserve_;
    }
    return true;
}

bool Checker::KnownCompression(std::uint16_t compression) {
    switch (compression & 0x000F) {
    case 0:   // stored
    case 1:   // MSZIP
        return true;
    case 2: {  // Quantum: level 1-7, window 2^10 to 2^21
        const unsigned level = (compression >> 4) & 0xF, window = (compression >> 8) & 0x1F;
        return level >= 1 && level <= 7 && window >= 10 && window <= 21;
    }
    case 3: {  // LZX: window 2^15 to 2^21
        const unsigned window = (compression >> 8) & 0x1F;
        return window >= 15 && window <= 21;
    }
    default: return false;
    }
}

bool Checker::Files() {
    std::vector<Member>& members = result_.members;
    members.reserve(fileCount_);
    ends_.reserve(fileCount_);
    position_ = filesStart_;
    for (std::uint32_t i = 0; i < fileCount_; ++i) {
        const unsigned char* e = window_.At(position_, FileEntrySize);
        if (!e) return Missing({"file entry ", i + 1, " lies outside the cabinet"});
        Member m;
        m.size = Read32(e + FileSizeField);
        const std::uint64_t offset = Read32(e + FileOffsetField);
        m.folder = Read16(e + FileFolderField);
        m.attribs = Read16(e + FileAttribsField);
        position_ += FileEntrySize;
        if (!Text(m.name)) return Missing({"the name of file entry ", i + 1, " runs past the end of the cabinet"});
        if (m.folder >= FolderContinuedFromPrev) return Damaged({m, " is continued from or into another cabinet"});
        if (m.folder >= folders_.size())
            return Damaged({m, " names folder ", m.folder + 1u, ", which the cabinet does not have"});
        if (!NameIsSafe(m, options_)) return Fail(Fault::UnsafeName, "Unsafe file name ", {m});
        ends_.push_back(offset + m.size);
        members.push_back(std::move(m));
    }
    return true;
}


bool Checker::Blocks(std::uint32_t index, Folder& folder) {
    std::uint64_t position = folder.dataStart;
    const std::size_t headerSize = BlockHeaderSize + blockReserve_;
    std::uint32_t b = 0;
    // The blocks a decoding ahead has already found sound by every test below are not
    // read again: on a large cabinet that walk alone costs tens of milliseconds.
    if (ahead_) {
        const Decoding::Checked& done = ahead_->CheckedAhead(index);
        b = done.blocks < folder.blocks ? done.blocks : folder.blocks;
        if (b > 0) {
            position = done.end;
            folder.uncompressed += done.uncompressed;
        }
    }
    for (; b < folder.blocks; ++b) {
        const unsigned char* h = window_.At(position, headerSize);
        if (!h) return BlockMissing(index, b);
        unsigned char header[BlockHeaderSize + 255];
        std::memcpy(header, h, headerSize);
        const std::uint32_t stored = Read32(header + BlockChecksumField);
        const std::uint16_t compressed = Read16(header + BlockCompressedField);
        const std::uint16_t uncompressed = Read16(header + BlockUncompressedField);
        const unsigned char* data = window_.At(position + headerSize, compressed);
        if (!data) return BlockMissing(index, b);
        if (uncompressed == 0) return BlockDamaged(index, b, {" is continued in another cabinet"});
        if (uncompressed > MaxBlockUncompressed)
            return BlockDamaged(index, b, {" holds ", uncompressed, " bytes, more than 32768"});
        if ((folder.compression & 0x000F) == 0 && compressed != uncompressed)
            return BlockDamaged(index, b, {" is stored with ", compressed, " bytes for ", uncompressed});
        if (stored != 0 && !BlockSumMatches(stored, header, data, compressed, blockReserve_))
            return BlockDamaged(index, b, {" fails its checksum"});
        folder.uncompressed += uncompressed;
        position += headerSize + compressed;
    }
    return true;
}

bool BlockSumMatches(std::uint32_t stored, const unsigned char* header, const unsigned char* data, std::size_t size,
                     std::uint8_t reserve) {
    ++format_seams::blockSums;
    const std::uint32_t overData = Checksum(data, size, 0);
    // The sum goes on over the two length fields; writers differ on whether the
    // block's reserved bytes, which follow them, count too: either is sound.
    const unsigned char* lengths = header + BlockCompressedField;
    constexpr std::size_t LengthsSize = BlockHeaderSize - BlockCompressedField;
    if (Checksum(lengths, LengthsSize, overData) == stored) return true;
    return reserve > 0 && Checksum(lengths, LengthsSize + reserve, overData) == stored;
}

bool Checker::Ranges() {
    for (std::size_t i = 0; i < result_.members.size(); ++i) {
        const Member& m = result_.members[i];
        if (ends_[i] > folders_[m.folder].uncompressed) return Damaged({m, " lies outside its folder's data"});
    }
    return true;
}

Result Checker::Run(Decoding& decoding) {
    ahead_ = &decoding;
    const bool sound = Header() && Folders() && Files() && UniqueNames() && AllBlocks() && Ranges() &&
                       Decoded(decoding);
    if (!sound) result_.members.clear();
    return std::move(result_);
}

bool Checker::AllBlocks() {
    for (std::uint32_t i = 0; i < folders_.size(); ++i)
        if (!Blocks(i, folders_[i])) return false;
    return true;
}

}  // namespace detail

}  // namespace cabfmt

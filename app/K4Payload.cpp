// Finds the running program's own file and copies the payload behind its last byte
// into the settings and the temporary cabinet file. A signed program carries its
// certificate table behind the payload; the payload then ends in front of it. A payload
// that ends in a sum record has its cabinet checked against it while it is copied.
#include "K4Payload.h"
#include <windows.h>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include "K4Application.h"
#include "K4BlockFile.h"
#include "K4CabinetPlace.h"
#include "K4CabFormat.h"
#include "K4CabinetSum.h"
#include "K4Files.h"
#include "K4PayloadSeams.h"
#include "K4PeImage.h"
#include "K4Settings.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

namespace {

// The cabinet is copied in blocks of this size, so memory use stays the same for a
// payload of any size. A block that stays in the processor's cache copies a large
// payload markedly faster than a larger one (measured under Wine: 1 GB in about
// 0.9 s with 64 KiB blocks against 1.4 to 1.8 s with 256 KiB).
constexpr std::uint32_t CopyBlockSize = 64 * 1024;

// The error code of a trailer that cannot describe a block inside this file.
constexpr std::int32_t BadTrailerError = ERROR_INVALID_DATA;

static_assert(DamagedArchiveError == ERROR_CRC);

// Said instead of the missing-payload message when the cabinet is there but its bytes
// are not the ones the packer summed.
constexpr char DamagedArchiveText[] = "The archive is damaged: its cabinet does not match its checksum";

// The payload search reads the program's own file through this: a false answer for a
// read outside the file or a failed one.
class BlockFileReadAt final : public cabfmt::ReadAt {
public:
    BlockFileReadAt(BlockFile& file, std::int64_t size) : file_(file), size_(static_cast<std::uint64_t>(size)) {}
    std::uint64_t Size() override { return size_; }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        return file_.Seek(static_cast<std::int64_t>(offset)) == 0 && file_.Read(buffer, static_cast<std::uint32_t>(count)) == 0;
    }

private:
    BlockFile& file_;
    std::uint64_t size_;
};

// Where the trailer ends: the end of the file, or for a signed file the start of its
// certificate table, less the zero bytes signing may have put in front of it.
std::int64_t PayloadEnd(BlockFile& file, std::int64_t size) {
    BlockFileReadAt reader(file, size);
    return static_cast<std::int64_t>(peimage::PayloadEnd(reader));
}

// Reads the trailer L that ends at end and moves to the block start end - 4 - L.
// The trailer is untrusted: L must be neither negative nor reach before the file.
std::int32_t SeekToBlock(BlockFile& file, std::int64_t end, std::int64_t& blockLength) {
    if (end < 4) return BadTrailerError;
    if (std::int32_t err = file.Seek(end - 4)) return err;
    unsigned char raw[4];
    if (std::int32_t err = file.Read(raw, 4)) return err;
    std::int32_t l = DecodeLe32(raw);
    if (l < 0 || l > end - 4) return BadTrailerError;
    blockLength = l;
    return file.Seek(end - 4 - l);
}

// The cabinet format's header facts the copy needs: its signature, where it states
// its own size (the fixed header's size is cabfmt::HeaderSize).
constexpr char CabinetSignature[4] = {'M', 'S', 'C', 'F'};
constexpr std::uint32_t CabinetSizeField = 8;

// How much of `available` bytes, starting with `first`, is the cabinet: the size
// its header states, as far as the block goes. Whatever follows it (the packer's
// padding) is not the cabinet's, and a library reading it as cabinet data finds
// entries there. A header without a usable size leaves the rest to the check that
// runs before extraction.
std::int64_t CabinetLength(const char* first, std::uint32_t firstCount, std::int64_t available) {
    if (firstCount < CabinetSizeField + 4 || std::memcmp(first, CabinetSignature, 4) != 0) return available;
    const std::int64_t stated = static_cast<std::uint32_t>(DecodeLe32(reinterpret_cast<const unsigned char*>(first) + CabinetSizeField));
    if (stated < cabfmt::HeaderSize) return available;
    return stated < available ? stated : available;
}

// Whether the `count` bytes in front of `blockEnd` (the cabinet and what follows it,
// the file positioned at their start) end in a sum record; `found` and `sum` say. The
// record is found from the trailer, never from the cabinet's header, which may be the
// damaged part. The file is left at the cabinet's start. 0 or the error.
std::int32_t ReadSumRecord(BlockFile& file, std::int64_t blockEnd, std::int64_t count, bool& found, cabsum::Record& sum) {
    found = false;
    // Room for a cabinet's signature and the record, or there is none.
    if (count < 4 + static_cast<std::int64_t>(cabsum::RecordSize)) return 0;
    unsigned char raw[cabsum::RecordSize];
    if (std::int32_t err = file.Seek(blockEnd - static_cast<std::int64_t>(cabsum::RecordSize))) return err;
    if (std::int32_t err = file.Read(raw, cabsum::RecordSize)) return err;
    if (const std::optional<cabsum::Record> decoded = cabsum::Decode(raw)) {
        found = true;
        sum = *decoded;
    }
    return file.Seek(blockEnd - count);
}

// The payload into the settings and the cabinet after the third text into
// DataFileName; 0 when the payload is in place. Neither padding nor the trailer
// nor a certificate table behind it is ever copied.
std::int32_t ExtractPayload(const std::string& exePath) {
    BlockFile file;
    std::int32_t err = file.Open(exePath.c_str());
    std::int64_t size = 0;
    std::int64_t blockLength = 0;
    std::int64_t end = 0;
    if (!err) err = file.Size(size);
    if (!err) {
        end = PayloadEnd(file, size);
        err = SeekToBlock(file, end, blockLength);
    }

    // Each text adds its length field and its length; once err is set the texts
    // that follow are empty and read nothing.
    std::int64_t consumed = 0;
    ShortString text1 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text1.Length());
    ShortString text2 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text2.Length());
    ShortString text3 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text3.Length());
    ExtractPath = text1.Str();
    WindowCaption = text2;
    TitleLabelText = text3;

    // What remains of the block after the texts, up to the trailer. With every read
    // successful it ends exactly where the trailer begins, which bounds it by the
    // real file size whatever the stored lengths said.
    std::int64_t cabinetCount = blockLength - consumed;
    if (err) return err;
    if (cabinetCount <= 0) return BadTrailerError;
    bool summed = false;
    cabsum::Record sum;
    if ((err = ReadSumRecord(file, end - 4, cabinetCount, summed, sum)) != 0) return err;
    // With a record, the cabinet ends in front of it.
    if (summed) cabinetCount -= static_cast<std::int64_t>(cabsum::RecordSize);
    return PlaceCabinet(file, cabinetCount, summed ? &sum : nullptr);
}

}  // namespace

std::int32_t CopyCabinet(BlockFile& in, std::int64_t available, const char* outPath, const cabsum::Record* sum) {
    UniqueFile out(CreateFileA(outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return LastErrorCode();
    // One allocation: the copy block, and behind it the sum's tables when there is a sum.
    auto block = std::make_unique<char[]>(CopyBlockSize + (sum ? sizeof(cabsum::Crc32) : 0));
    const cabsum::Crc32* summer = sum ? new (block.get() + CopyBlockSize) cabsum::Crc32 : nullptr;
    std::int64_t count = available;
    std::uint32_t crc = 0;
    std::int32_t err = 0;
    for (bool first = true; count > 0 && !err; first = false) {
        auto n = static_cast<std::uint32_t>(count < CopyBlockSize ? count : CopyBlockSize);
        if ((err = in.Read(block.get(), n)) != 0) break;
        if (first) {
            count = CabinetLength(block.get(), n, available);
            // The record sums the cabinet the packer wrote, whose header stated its size,
            // within the bytes in front of the record.
            if (sum && count != sum->cabinetSize) {
                err = DamagedArchiveError;
                break;
            }
            if (n > count) n = static_cast<std::uint32_t>(count);
        }
        // The copy reads every byte anyway: summing them here costs no second pass.
        if (summer) crc = summer->Update(crc, reinterpret_cast<const unsigned char*>(block.get()), n);
        DWORD written = 0;
        if (!WriteFile(out.Get(), block.get(), n, &written, nullptr)) err = LastErrorCode();
        else if (written != n) err = ERROR_WRITE_FAULT;
        count -= n;
    }
    if (!err && sum && crc != sum->crc) err = DamagedArchiveError;
    if (err) {
        out.Reset();
        DeleteFileA(outPath);
    }
    return err;
}

void ParseOwnCommandLine(const ShortString& commandLine, ShortString& directory, ShortString& fileName) {
    ShortString work = TrimSpaces(UpperCaseShort(commandLine));
    if (!work.Empty() && work[0] == '"') {
        std::string_view rest = work.View().substr(1);
        std::size_t close = rest.find('"');
        if (close != std::string_view::npos) rest = rest.substr(0, close);
        work = ShortString(rest);
    }
    ShortString extension;
    SplitPath(work, directory, fileName, extension);
    fileName += ".EXE";
}

void LocateOwnExecutable(ShortString& directory, ShortString& fileName) {
    ParseOwnCommandLine(ShortString(GetCommandLineA()), directory, fileName);
}

bool ReadPayloadFrom(const std::string& exePath) {
    const std::int32_t err = exePath.empty() ? BadTrailerError : ExtractPayload(exePath);
    if (err != 0) {
        // "Sorry" is for a payload that is missing, not for a cabinet that does not match
        // its sum, nor for a folder that cannot be written.
        app::ShowPlainMessage(err == DamagedArchiveError ? std::string_view(DamagedArchiveText)
                              : err == NoPlaceForCabinet ? PlacementFailureText().View()
                                                         : std::string_view("Sorry Cannot Find Data"));
        RemoveTemporaryCabinet();
        app::EndProgram(1);
    }
    return true;
}

namespace payload_seams {
std::string payloadFile;
}  // namespace payload_seams

bool ReadPayload() {
    // The running module's own path, not the one pieced together from the command
    // line: that one is wrong for a program started without a directory, with an
    // argument containing a point, or under another extension.
    return ReadPayloadFrom(payload_seams::payloadFile.empty() ? OwnModulePath() : payload_seams::payloadFile);
}

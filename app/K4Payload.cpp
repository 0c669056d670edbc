// Finds the running program's own file and copies the payload behind its last byte
// into the settings and the temporary cabinet file. A signed program carries its
// certificate table behind the payload; the payload then ends in front of it. A payload
// that ends in a sum record has its cabinet checked against it while it is copied.
#include "K4Payload.h"
#include <windows.h>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include "K4Application.h"
#include "K4BlockFile.h"
#include "K4CabinetPlace.h"
#include "K4CabinetSum.h"
#include "K4Files.h"
#include "K4PayloadBlock.h"
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

// The texts of a sound block into the settings: each inside the block, at most 255 bytes.
std::int32_t ReadTexts(BlockFile& file, const payloadblock::Block& block) {
    ShortString texts[payloadblock::TextCount];
    for (std::size_t t = 0; t < payloadblock::TextCount; ++t) {
        texts[t].SetLength(block.textLength[t]);
        if (std::int32_t err = file.Seek(static_cast<std::int64_t>(block.textOffset[t]))) return err;
        if (std::int32_t err = file.Read(texts[t].Data(), block.textLength[t])) return err;
    }
    ExtractPath = texts[0].Str();
    WindowCaption = texts[1];
    TitleLabelText = texts[2];
    return 0;
}

// The payload into the settings and the cabinet after the third text into
// DataFileName; 0 when the payload is in place. Neither padding nor the sum record nor
// the trailer nor a certificate table behind it is ever copied. A block the shared
// reading refuses fails the start before anything is written.
std::int32_t ExtractPayload(const std::string& exePath) {
    BlockFile file;
    std::int64_t size = 0;
    if (std::int32_t err = file.Open(exePath.c_str())) return err;
    if (std::int32_t err = file.Size(size)) return err;
    BlockFileReadAt reader(file, size);
    const payloadblock::Block block = payloadblock::ReadBlock(reader, peimage::PayloadEnd(reader));
    if (!block.Sound()) return BadTrailerError;
    if (std::int32_t err = ReadTexts(file, block)) return err;
    if (std::int32_t err = file.Seek(static_cast<std::int64_t>(block.cabinetOffset))) return err;
    return PlaceCabinet(file, static_cast<std::int64_t>(block.cabinetRoom), block.summed ? &block.sum : nullptr);
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
            count = static_cast<std::int64_t>(payloadblock::CabinetLength(
                reinterpret_cast<const unsigned char*>(block.get()), n, static_cast<std::uint64_t>(available)));
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
        ui::ShowPlainMessage(err == DamagedArchiveError ? std::string_view(DamagedArchiveText)
                              : err == NoPlaceForCabinet ? PlacementFailureText().View()
                                                         : std::string_view("Sorry Cannot Find Data"));
        RemoveTemporaryCabinet();
        ui::EndProgram(1);
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

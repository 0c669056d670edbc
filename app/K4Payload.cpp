// Reads the payload behind the running program's last byte into the settings and
// has its cabinet placed as the temporary cabinet file. A signed program carries its
// certificate table behind the payload; the payload then ends in front of it. A payload
// that ends in a sum record has its cabinet checked against it while it is copied.
#include "K4Payload.h"
#include <windows.h>
#include <cstdint>
#include <string_view>
#include "K4BlockFile.h"
#include "K4CabinetPlace.h"
#include "K4CabinetSum.h"
#include "K4Files.h"
#include "K4PayloadBlock.h"
#include "K4PayloadSeams.h"
#include "K4PeImage.h"
#include "K4Settings.h"
#include "K4TextEncoding.h"

namespace {

// The error code of a trailer that cannot describe a block inside this file.
constexpr std::int32_t BadTrailerError = ERROR_INVALID_DATA;

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

// The run record of a block that carries one into the command setting: its two UTF-8
// texts as the wide calls take them, the member's folders separated as the system
// separates them. A block without one leaves the setting as it is: not given.
std::int32_t ReadCommand(BlockFile& file, const payloadblock::Block& block) {
    if (!block.runs) return 0;
    const std::uint32_t size = block.run.programLength + block.run.argumentsLength;
    std::string texts(size, '\0');
    if (std::int32_t err = file.Seek(static_cast<std::int64_t>(block.runOffset))) return err;
    if (std::int32_t err = file.Read(texts.data(), size)) return err;
    const std::string_view all(texts);
    CommandToRun.program = WideFromCodePage(all.substr(0, block.run.programLength), CP_UTF8);
    for (wchar_t& c : CommandToRun.program)
        if (c == L'/') c = L'\\';
    CommandToRun.arguments = WideFromCodePage(all.substr(block.run.programLength), CP_UTF8);
    CommandToRun.temporary = block.run.Temporary();
    CommandToRun.given = true;
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
    if (std::int32_t err = ReadCommand(file, block)) return err;
    if (std::int32_t err = file.Seek(static_cast<std::int64_t>(block.cabinetOffset))) return err;
    return PlaceCabinet(file, static_cast<std::int64_t>(block.cabinetRoom), block.summed ? &block.sum : nullptr);
}

}  // namespace

std::int32_t ReadPayloadFrom(const std::string& exePath) {
    return exePath.empty() ? BadTrailerError : ExtractPayload(exePath);
}

std::string_view PayloadRefusalText(std::int32_t err) {
    return err == DamagedArchiveError ? std::string_view(DamagedArchiveText)
           : err == NoPlaceForCabinet ? PlacementFailureText().View()
                                      : std::string_view("Sorry Cannot Find Data");
}

namespace payload_seams {
std::string payloadFile;
}  // namespace payload_seams

std::int32_t ReadPayload() {
    // The running module's own path, not the one pieced together from the command
    // line: that one is wrong for a program started without a directory, with an
    // argument containing a point, or under another extension.
    return ReadPayloadFrom(payload_seams::payloadFile.empty() ? OwnModulePath() : payload_seams::payloadFile);
}

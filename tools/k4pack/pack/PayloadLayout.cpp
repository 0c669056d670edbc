// Writer and reader of the appended block: the packer's side of its byte layout, read through
// the extractor's own reading (format/K4PayloadBlock.h); the run record written through its
// one definition (format/K4RunRecord.h).
#include "PayloadLayout.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <optional>

#include "cabinet/Cabinet.h"
#include "K4RunRecord.h"
#include "pe/Signature.h"

namespace k4pack {
namespace {

constexpr std::uint64_t kTextFieldsSize = payloadblock::TextFieldsSize;

void CheckText(const char* what, const std::string& text) {
    if (text.size() > kMaxTextLength)
        throw PackError(std::string(what) + " is " + std::to_string(text.size()) +
                        " bytes long; the extractor accepts at most " +
                        std::to_string(kMaxTextLength));
}

// Why the extractor refuses this block, in words.
std::string BlockFault(const payloadblock::Block& block) {
    using payloadblock::Fault;
    const std::string stated = std::to_string(block.stated);
    const std::string which = "text " + std::to_string(block.faultText);
    switch (block.fault) {
    case Fault::NoTrailer: return "file is shorter than the 4-byte trailer";
    case Fault::TrailerOutside: return "trailer holds " + stated + ", which names no block inside the file";
    case Fault::TrailerTooShort: return "trailer holds " + stated + ", less than the 12 bytes of the length fields";
    case Fault::TextLengthOutside: return "length of " + which + " is " + stated + ", outside 0 to 255";
    case Fault::TextOutside: return which + " runs beyond the block";
    case Fault::NoCabinet: return "no room for a cabinet after the texts";
    case Fault::RunRecordDamaged: return "the run record's lengths, flags or sum do not hold";
    case Fault::Unreadable:
    case Fault::None: break;
    }
    return "the block cannot be read";
}

std::string ReadText(const ByteSource& file, const payloadblock::Block& block, std::size_t index) {
    std::string text(block.textLength[index], '\0');
    file.ReadAt(block.textOffset[index], std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
    return text;
}

// Reads the block whose trailer ends at `end` (the end of the file, or in front of a
// certificate table).
PayloadContents ReadPayloadEndingAt(const ByteSource& file, std::uint64_t end) {
    SourceReadAt reader(file);
    const payloadblock::Block block = payloadblock::ReadBlock(reader, end);
    if (!block.Sound()) throw InvalidPayload(BlockFault(block));
    // The extractor copies such a cabinet out, and its check refuses it there.
    if (!block.signature)
        throw InvalidPayload(block.cabinetRoom < cabfmt::SignatureSize
                                 ? "no room for a cabinet after the texts"
                                 : "the data after the texts is not a cabinet (no \"MSCF\")");
    PayloadContents result;
    result.texts = {ReadText(file, block, 0), ReadText(file, block, 1), ReadText(file, block, 2)};
    PayloadLayout& layout = result.layout;
    layout.blockLength = block.length;
    layout.payloadEnd = end;
    layout.fileSize = file.Size();
    layout.imageSize = block.start;
    layout.cabinetOffset = block.cabinetOffset;
    if (block.summed) {
        layout.sumOffset = end - payloadblock::TrailerSize - cabsum::RecordSize;
        layout.sum = block.sum;
    }
    if (block.runs) {
        layout.runOffset = block.runOffset;
        layout.runSize = block.run.RecordSize();
        std::string program(block.run.programLength, '\0'), arguments(block.run.argumentsLength, '\0');
        file.ReadAt(block.runOffset, std::span(reinterpret_cast<std::uint8_t*>(program.data()), program.size()));
        file.ReadAt(block.runOffset + program.size(),
                    std::span(reinterpret_cast<std::uint8_t*>(arguments.data()), arguments.size()));
        result.run = RunCommand{std::move(program), std::move(arguments), block.run.Temporary()};
    }
    std::array<std::uint8_t, cabfmt::CabinetSizeField + 4> head{};
    const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(block.cabinetRoom, head.size()));
    file.ReadAt(block.cabinetOffset, std::span(head.data(), headSize));
    layout.cabinetSize = payloadblock::CabinetLength(head.data(), headSize, block.cabinetRoom);
    layout.paddingSize = block.cabinetRoom - layout.cabinetSize;
    return result;
}

// Passes every byte on and keeps the CRC-32 of what passed: the cabinet is read once.
class SummingSink final : public ByteSink {
public:
    explicit SummingSink(ByteSink& to) : to_(to) {}
    void Write(std::span<const std::uint8_t> bytes) override {
        crc_ = Crc32Update(crc_, bytes);
        to_.Write(bytes);
    }
    std::uint32_t Crc() const { return crc_; }

private:
    ByteSink& to_;
    std::uint32_t crc_ = 0;
};

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    // crc32 takes its length as uInt: a span of more than 4 GiB goes in parts.
    constexpr std::size_t kPart = 1u << 30;
    for (std::size_t at = 0; at < bytes.size(); at += kPart) {
        const std::size_t n = std::min(kPart, bytes.size() - at);
        crc = static_cast<std::uint32_t>(crc32(crc, bytes.data() + at, static_cast<uInt>(n)));
    }
    return crc;
}

std::uint32_t Crc32Of(const ByteSource& file, std::uint64_t offset, std::uint64_t length) {
    class Discard final : public ByteSink {
        void Write(std::span<const std::uint8_t>) override {}
    } discard;
    SummingSink summed(discard);
    CopyBytes(file, offset, length, summed);
    return summed.Crc();
}

std::string CabinetSumFault(const ByteSource& file, const PayloadLayout& layout) {
    if (layout.sumOffset == 0) return {};
    // The cabinet's room ends where the first record begins.
    const std::uint64_t room = (layout.runSize != 0 ? layout.runOffset : layout.sumOffset) - layout.cabinetOffset;
    const std::string covered = std::to_string(layout.sum.cabinetSize) + " bytes";
    if (layout.sum.cabinetSize > room)
        return "the sum record covers " + covered + ", more than the " + std::to_string(room) +
               " in front of it";
    const std::uint32_t crc = Crc32Of(file, layout.cabinetOffset, layout.sum.cabinetSize);
    if (crc != layout.sum.crc)
        return "the cabinet does not match its sum record: CRC-32 " + Hex32(crc) + " of its first " +
               covered + ", the record states " + Hex32(layout.sum.crc);
    if (layout.sum.cabinetSize != layout.cabinetSize)
        return "the sum record covers " + covered + ", the cabinet's header states " +
               std::to_string(layout.cabinetSize);
    return {};
}

void CheckPayloadTexts(const PayloadTexts& texts) {
    CheckText("the target directory", texts.targetDirectory);
    CheckText("the window caption", texts.windowCaption);
    CheckText("the title line", texts.titleLine);
}

std::vector<std::uint8_t> EncodeRunRecord(const RunCommand& command) {
    if (command.program.empty() || command.program.size() > runrecord::MaxProgramLength ||
        command.arguments.size() > runrecord::MaxArgumentsLength)
        throw PackError("a run record holds a program of 1 to " + std::to_string(runrecord::MaxProgramLength) +
                        " bytes and arguments of at most " + std::to_string(runrecord::MaxArgumentsLength));
    runrecord::Tail tail{static_cast<std::uint32_t>(command.program.size()),
                         static_cast<std::uint32_t>(command.arguments.size()),
                         command.temporary ? runrecord::FlagTemporary : 0u};
    const auto* program = reinterpret_cast<const unsigned char*>(command.program.data());
    const auto* arguments = reinterpret_cast<const unsigned char*>(command.arguments.data());
    tail.crc = runrecord::RecordCrc(program, arguments, tail);
    unsigned char fixed[runrecord::TailSize];
    runrecord::EncodeTail(tail, fixed);
    std::vector<std::uint8_t> record(program, program + command.program.size());
    record.insert(record.end(), arguments, arguments + command.arguments.size());
    record.insert(record.end(), std::begin(fixed), std::end(fixed));
    return record;
}

PayloadLayout PlanPayload(std::uint64_t imageSize, const PayloadTexts& texts,
                          std::uint64_t cabinetSize, SumRecord sum, const std::optional<RunCommand>& run) {
    CheckPayloadTexts(texts);
    const std::uint64_t textFields = kTextFieldsSize + texts.targetDirectory.size() + texts.windowCaption.size() +
                                     texts.titleLine.size();
    const std::uint64_t record = sum == SumRecord::Crc32 ? cabsum::RecordSize : 0;
    const std::uint64_t runSize = run ? EncodeRunRecord(*run).size() : 0;
    // Each term is below 2^63 here (sizes of real files), so the sum cannot wrap.
    const std::uint64_t unpadded =
        imageSize + textFields + cabinetSize + runSize + record + kTrailerSize;
    const std::uint64_t padding = (kFileAlignment - unpadded % kFileAlignment) % kFileAlignment;
    const std::uint64_t fileSize = unpadded + padding;
    if (fileSize > kMaxFileSize)
        throw PackError("the self-extractor would be " + std::to_string(fileSize) +
                        " bytes; the extractor reads at most 2 GiB (" +
                        std::to_string(kMaxFileSize) + " bytes)");
    PayloadLayout layout;
    layout.imageSize = imageSize;
    layout.cabinetOffset = imageSize + textFields;
    layout.cabinetSize = cabinetSize;
    layout.paddingSize = padding;
    layout.blockLength = static_cast<std::uint32_t>(textFields + cabinetSize + padding + runSize + record);
    if (runSize != 0) {
        layout.runOffset = layout.cabinetOffset + cabinetSize + padding;
        layout.runSize = runSize;
    }
    if (record != 0) {
        layout.sumOffset = fileSize - kTrailerSize - record;
        layout.sum.cabinetSize = static_cast<std::uint32_t>(cabinetSize);
    }
    layout.payloadEnd = fileSize;
    layout.fileSize = fileSize;
    return layout;
}

std::vector<std::uint8_t> EncodeTextFields(const PayloadTexts& texts) {
    CheckPayloadTexts(texts);
    std::vector<std::uint8_t> out;
    for (const std::string* text :
         {&texts.targetDirectory, &texts.windowCaption, &texts.titleLine}) {
        AppendLe32(out, static_cast<std::uint32_t>(text->size()));
        out.insert(out.end(), text->begin(), text->end());
    }
    return out;
}

void WritePayload(ByteSink& out, const PayloadLayout& layout, const PayloadTexts& texts,
                  const ByteSource& cabinet, const std::optional<RunCommand>& run) {
    const std::vector<std::uint8_t> fields = EncodeTextFields(texts);
    const std::vector<std::uint8_t> runRecord = run ? EncodeRunRecord(*run) : std::vector<std::uint8_t>();
    const std::uint64_t record = layout.sumOffset != 0 ? cabsum::RecordSize : 0;
    if (layout.cabinetSize != cabinet.Size() || layout.paddingSize >= kFileAlignment ||
        layout.runSize != runRecord.size() ||
        layout.blockLength != fields.size() + cabinet.Size() + layout.paddingSize + runRecord.size() + record ||
        (record != 0 && layout.sum.cabinetSize != cabinet.Size()))
        throw PackError("payload layout does not match its texts, cabinet and command");
    out.Write(fields);
    SummingSink summed(out);
    CopyBytes(cabinet, 0, cabinet.Size(), summed);
    out.Write(std::vector<std::uint8_t>(layout.paddingSize, 0));
    if (!runRecord.empty()) out.Write(runRecord);
    if (record != 0) {
        unsigned char bytes[cabsum::RecordSize];
        cabsum::Encode({layout.sum.cabinetSize, summed.Crc()}, bytes);
        out.Write(bytes);
    }
    std::vector<std::uint8_t> trailer;
    AppendLe32(trailer, layout.blockLength);
    out.Write(trailer);
}

PayloadContents ReadPayload(const ByteSource& file) {
    SourceReadAt reader(file);
    const std::optional<CertificateTable> table = peimage::FindCertificateTable(reader);
    if (const auto end = table ? peimage::TrailerEndBefore(reader, *table) : std::nullopt) {
        PayloadContents found = ReadPayloadEndingAt(file, *end);
        found.layout.certificateTableOffset = table->offset;
        found.layout.certificateTableSize = table->size;
        return found;
    }
    try {
        return ReadPayloadEndingAt(file, file.Size());
    } catch (const InvalidPayload& e) {
        if (!table) throw;
        throw InvalidPayload(std::string(e.what()) +
                             " (the file is signed, and no payload ends in front of its"
                             " certificate table)");
    }
}

}  // namespace k4pack
